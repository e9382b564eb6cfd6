; number forms, labels, equ, forward references and data directives
size    equ 4
mask:   equ 0FFh
        ld a,0FFh
        ld a,11111111b
        ld a,255
        ld a,0377
        ld hl,0x00FF
        ld hl,0FFFFFh
        ld de,100000 - 99999
        ld bc,'AB'
        ld a,'A'
        ld hl,2*(3+4)-1
        ld a,mask & 0x0F
        ld hl,later+size
        jp later
        call later
        jr later
first:: nop
        align 4
        align even
        align odd
        db "str",mask,-1,size*2
        dw first,later,0x1234
later:  ret
        asm nop
        rl (ix+2)
        ld hl,100000L
