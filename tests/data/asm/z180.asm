        and b
        or 0x80
        call nz,0x1234
        rst 0
        ex (sp),hl
        bool hl
        ioi ld a,(hl)
        cp (ix-2)
