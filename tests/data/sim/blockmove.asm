; Copies a text from root flash to RAM with ldir, then moves it up one byte with lddr.
; kxrun: --dump 0x80100:8
        ld a,0x78
        ioi ld (0x12),a         ; DATASEG: logical 0x8000 -> physical 0x80000
        ld a,0xD8
        ioi ld (0x13),a         ; SEGSIZE: data segment from 0x8000
        ld hl,text
        ld de,0x8100
        ld bc,5
        ldir
        ld hl,0x8104            ; overlapping move up: from the top down
        ld de,0x8105
        ld bc,5
        lddr
done:   nop
text:   db "HELLO"
