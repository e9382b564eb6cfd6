/* Every way into a function placed in extended memory: main itself in xmem (the start-up calls
   it), direct calls from root and from xmem, calls compiled before the callee was placed,
   function pointers (taken at run time, held in an initialised table, passed as arguments and
   called from root and from xmem), a call from "#asm", and a chain whose member lies in xmem,
   run from C. */

long later(int n, long v);
int leaf(int v);

xmem int triple(int v) { return v * 3; }
root int from_root(int v) { return triple(v) + leaf(v); }
xmem long apply(long (*f)(int, long), int n, long v) { return f(n, v) + 1; }
root long root_apply(long (*f)(int, long), int n, long v) { return f(n, v) - 1; }

/* A recursive xmem function with long arithmetic: each level multiplies and adds. */
xmem long later(int n, long v)
{
    if (n <= 0)
        return v;
    return later(n - 1, v * 3L + n);
}

xmem long mixed(int n, long v)
{
    int i;
    long acc;
    acc = v;
    for (i = 0; i < n; i++) {
        switch (i & 3) {
        case 0: acc = acc * 7L - i; break;
        case 1: acc = acc + (long)triple(i) * 1000L; break;
        case 2: acc = acc ^ 0x5A5AL; break;
        default: acc = acc / 3L; break;
        }
    }
    return acc;
}

long (*const table[3])(int, long) = { later, mixed, later };
long (*held)(int, long);

int chained;
#makechain sum_up
#funcchain sum_up add_five
xmem void add_five() { chained = chained + 5; }

int through_asm;

xmem int main()
{
    int i;
    printf("%d %d\n", triple(14), from_root(4));
    printf("%ld %ld\n", later(5, 2L), mixed(9, 100L));
    held = mixed;
    printf("%ld %ld\n", held(6, -40L), apply(held, 5, 1L));
    printf("%ld %ld\n", root_apply(later, 3, 10L), apply(later, 4, -3L));
    for (i = 0; i < 3; i++)
        printf("%d: %ld\n", i, table[i](i + 2, 50L));
#asm
    ld hl, 21
    push hl
    call triple
    pop de
    ld (through_asm), hl
#endasm
    printf("%d\n", through_asm);
    sum_up();
    sum_up();
    printf("%d\n", chained);
    return 0;
}

root int leaf(int v) { return v - 100; }
