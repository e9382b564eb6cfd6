; Arithmetic and logic results with their flags, stored as A,F pairs and words from 0x8100.
; kxrun: --dump 0x80100:16
; The data segment (logical 0x8000-0xCFFF) and the stack segment are set to RAM first.
        ld a,0x78
        ioi ld (0x12),a         ; DATASEG: logical 0x8000 -> physical 0x80000
        ld a,0x80
        ioi ld (0x11),a         ; STACKSEG: logical 0xD000 -> physical 0x8D000
        ld a,0xD8
        ioi ld (0x13),a         ; SEGSIZE: data segment from 0x8000, stack from 0xD000
        ld sp,0xE000
        ld ix,0x8100
        ld a,0x7F
        add a,1                 ; 0x80: sign and overflow
        push af
        pop hl
        ld (ix+0),h
        ld (ix+1),l
        ld a,0x10
        sub 0x20                ; 0xF0: sign and borrow
        push af
        pop hl
        ld (ix+2),h
        ld (ix+3),l
        ld a,0xF0
        and 0x3C                ; 0x30: logical flag from the top four bits
        push af
        pop hl
        ld (ix+4),h
        ld (ix+5),l
        ld hl,0x7FFF
        ld de,1
        scf
        adc hl,de               ; 0x8001
        ld (0x8106),hl
        ld hl,0x1000
        or hl,de                ; 0x1001
        ld (0x8108),hl
        ld bc,0xFFFE
        ld de,3
        mul                     ; hl:bc = -6
        ld (0x810A),bc
        ld hl,0x1234
        bool hl                 ; 1
        ld (0x810C),hl
        ld a,0x81
        sra a                   ; 0xC0, carry out
        ld (ix+14),a
        rr hl                   ; carry in: 0x8000
        ld (ix+15),h
done:   nop
