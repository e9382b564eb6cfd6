/* Forward references in "#asm" inside a function body: a label further down the block, a C
   function defined further down the file and a C variable declared after the function. */
int cfn(int v);
int third(void);
int r1, r2;

int main()
{
#asm
    call fwd
    ld (r1), hl
    jp done
fwd:
    ld hl, 42
    ret
done:
    ld hl, 5
    push hl
    call cfn
    pop de
    ld (r2), hl
    ld hl, 1234
    ld (r3), hl
#endasm
    printf("%d %d %d\n", r1, r2, third());
    return 0;
}

int r3;

int cfn(int v) { return v * 3; }
int third(void) { return r3; }
