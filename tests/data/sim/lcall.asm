; A long call into the xmem window and back, and reads through the window.
; XPC 0xF2 maps logical 0xE000 onto physical 0x00000, so the function at root address
; func runs at logical 0xE000+func; XPC 0x72 maps 0xE000 onto physical 0x80000 (RAM).
; kxrun: --dump 0x80100:5
        ld a,0x78
        ioi ld (0x12),a         ; DATASEG: logical 0x8000 -> physical 0x80000
        ld a,0x80
        ioi ld (0x11),a         ; STACKSEG: logical 0xD000 -> physical 0x8D000
        ld a,0xD8
        ioi ld (0x13),a
        ld sp,0xE000
        ld a,0x07
        ld xpc,a                ; the caller's page
        lcall 0xF2, 0xE000+func
        ld (0x8100),a           ; the XPC the function saw
        ld a,b
        ld (0x8101),a           ; the byte it read through the window
        ld a,xpc
        ld (0x8102),a           ; the caller's page again
        ld a,0x72
        ld xpc,a
        ld a,(0xE100)           ; physical 0x80100 through the window
        ld (0x8103),a
        ld hl,0
        add hl,sp
        ld a,h
        ld (0x8104),a           ; the stack is balanced again (0xE0)
done:   nop
func:   ld a,(0xE000+table)     ; physical address table, read through the window
        ld b,a
        ld a,xpc
        lret
table:  db 0x5A
