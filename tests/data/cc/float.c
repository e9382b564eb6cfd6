/* float + - * / and the comparisons, printed with %f. */

float values[6] = { 1.5, -2.25, 0.1, 1000000.0, 0.0, 3.0 };

int main()
{
    int i, j;
    float a, b;

    for (i = 0; i < 6; i++) {
        for (j = 0; j < 6; j++) {
            a = values[i];
            b = values[j];
            printf("%f %f: %f %f %f %f", a, b, a + b, a - b, a * b, b == 0 ? 0.0 : a / b);
            printf(" %d%d%d%d%d%d\n", a < b, a > b, a <= b, a >= b, a == b, a != b);
        }
    }
    return 0;
}
