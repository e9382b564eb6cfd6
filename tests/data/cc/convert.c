/* Conversions between char, int, unsigned, long, unsigned long and float, each way. */

long sources[6] = { 0L, 65L, 300L, -2L, 70000L, -123456L };

int main()
{
    int i;
    char c;
    int n;
    unsigned u;
    long l;
    unsigned long ul;
    float f;

    for (i = 0; i < 6; i++) {
        l = sources[i];
        c = l;
        n = l;
        u = l;
        ul = l;
        f = l;
        printf("%ld: %d %d %u %lu %f\n", l, c, n, u, ul, f);
        /* from char */
        c = n & 0x7F;
        n = c; u = c; l = c; ul = c; f = c;
        printf(" c %d %u %ld %lu %f\n", n, u, l, ul, f);
        /* from int */
        n = sources[i];
        u = n; l = n; ul = n; f = n; c = n & 0x7F;
        printf(" i %u %ld %lu %f %d\n", u, l, ul, f, c);
        /* from unsigned */
        u = sources[i];
        n = u; l = u; ul = u; f = u;
        printf(" u %d %ld %lu %f\n", n, l, ul, f);
        /* from unsigned long */
        ul = sources[i];
        n = ul; u = ul; l = ul; f = ul;
        printf(" ul %d %u %ld %f\n", n, u, l, f);
        /* from float */
        f = sources[i] * 1.25;
        c = f; n = f; u = f; l = f; ul = f;
        printf(" f %f %d %d %u %ld %lu\n", f, c, n, u, l, ul);
    }
    return 0;
}
