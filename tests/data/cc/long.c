/* long and unsigned long: + - * / % and shifts with negative operands and at the edges, and
   every comparison, signed and unsigned. */

long values[7] = { 7L, -7L, 100000L, -100000L, 2147483647L, -2147483647L - 1L, -1L };
long divisors[4] = { 3L, -70000L, -1L, 65536L };
int counts[8] = { 0, 1, 15, 16, 31, 32, 33, 255 };

int main()
{
    int i, j;
    long a, b;
    unsigned long u, v;

    for (i = 0; i < 7; i++) {
        a = values[i];
        u = a;
        for (j = 0; j < 4; j++) {
            b = divisors[j];
            v = b;
            printf("%ld %ld: %ld %ld %ld %ld %ld\n", a, b, a + b, a - b, a * b, a / b, a % b);
            printf("%lu %lu: %lu %lu %lx\n", u, v, u / v, u % v, u * v);
            printf("%d%d%d%d%d%d %d%d%d%d\n", a < b, a > b, a <= b, a >= b, a == b, a != b,
                   u < v, u > v, u <= v, u >= v);
        }
        for (j = 0; j < 8; j++)
            printf("<<%d %ld %ld %lu\n", counts[j], a << counts[j], a >> counts[j],
                   u >> counts[j]);
    }
    return 0;
}
