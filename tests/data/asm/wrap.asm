; Lines that cross the end of the 64 KB logical address space: their bytes go on at 0x0000,
; a word patched across the end included.
        nop
        jp later
        ld hl,0x1234
later:  ret
