; with --debug: the restart byte before each instruction, none before data
        ld a,b
        db 1,2
        dw 3
        altd ld a,b
        ioi ld a,(hl)
lbl:    jr lbl
        nop $ nop
