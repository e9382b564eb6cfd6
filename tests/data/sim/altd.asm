; Alternate destinations: results land in the alternate set and come back with exx and ex.
; kxrun: --dump 0x80100:4
        ld a,0x78
        ioi ld (0x12),a         ; DATASEG: logical 0x8000 -> physical 0x80000
        ld a,0xD8
        ioi ld (0x13),a
        ld a,0x10
        ld b,0x20
        altd add a,b            ; A' = 0x30, main A stays 0x10
        altd ld hl,0x1234       ; HL' = 0x1234
        ld de,0x5678
        ex de,hl'               ; DE <-> HL'
        exx                     ; HL = 0x5678 again in the main set
        ex af,af'               ; A = 0x30
        ld (0x8100),a
        ld (0x8101),hl
        ld a,e
        ld (0x8103),a
done:   nop
