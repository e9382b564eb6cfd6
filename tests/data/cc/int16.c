/* 16-bit int and unsigned arithmetic: + - * / % << >> with negative operands, the most negative
   value divided by -1, shifts of every size and products by constants. */

int values[8] = { 7, -7, 100, -100, 32767, -32768, 1, -1 };
int divisors[5] = { 3, -3, 7, -1, 2 };
int counts[7] = { 0, 1, 3, 15, 16, 31, 32 };

int main()
{
    int i, j, a, b;
    unsigned u;

    for (i = 0; i < 8; i++) {
        a = values[i];
        for (j = 0; j < 5; j++) {
            b = divisors[j];
            printf("%d %d: %d %d %d %d %d\n", a, b, a + b, a - b, a * b, a / b, a % b);
        }
        printf("%d: %d %d %d %d %d\n", a, a * 3, a * 10, a * -5, a * 256, a * 0);
        u = a;
        printf("%u: %u %u %u %u %x %X\n", u, u / 7, u % 7, u * 5, u + 4000, u, u);
        for (j = 0; j < 7; j++)
            printf("<<%d %d %d %u\n", counts[j], a << counts[j], a >> counts[j], u >> counts[j]);
    }
    return 0;
}
