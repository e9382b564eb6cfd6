; each bad line reports, emits nothing, and the line after it assembles
start:  nop
        push qq
        nop
        ld a,bc
        nop
        ld a,(ix+128)
        nop
        jr 0x0200
        nop
        ld a,256
        nop
        ld a,5/0
        nop
start:  nop
        nop
        ld hl,a_name_that_is_far_too_long_for_the_scanner
        nop
        db "a string that is longer than the scanner keeps"
        nop
lbl:    frob a
        nop
        ex af,af
        nop
        ioi nop
        nop
        rst 5
        nop
        bit 8,a
        nop
        ld hl,a1+a2
        nop
        ld a,(2+3
        nop
        ld a,nowhere
