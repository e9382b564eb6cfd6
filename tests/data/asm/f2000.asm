; both kinds of comment, labels, forward references, prefixes
start:: ld a,b        // copy
        altd ld a,b
        ioi ld a,(hl)
        ld hl,(sp+5)
        ld hl,ix
        jr later
        ljp 0x123456
loop:   djnz loop
        ld a,256
        ld hl,table + 2*3
later:  ret
table:  db "ok",0FFh,11111111b
        dw table
        nop $ nop
        frob a
        jp nowhere
