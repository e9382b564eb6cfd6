/* The value of a comparison or a logical operator is an int whatever its operands' types,
   whether the compiler folds it or the program computes it. */
int main()
{
    float h;
    long big;
    h = 0.5;
    big = 70000L;
    printf("%d %d\n", 2 == 2.0, 7);
    printf("%d %d %d %d %d\n", sizeof(2 == 2.0), sizeof(1L != 2L), sizeof(1.5 < 2.5),
           sizeof(!2.0), sizeof(1.5 && 2L));
    printf("%d %d %d\n", 0.5 == 1.0 / 2.0, 1L < 2L, !2.0);
    printf("%d %d %d %d\n", 1.5 && 0L, 0.0 || 3L, 3.0 >= 3, 70000L == 70000L);
    printf("%d %d %d\n", h == 1.0 / 2.0, big != 70000L, sizeof(h == 0.5));
    printf("%d %d %d\n", (2.0 != 2) + 40, (100000L > 99999L) * 3, (1L == 1L) - 2);
    return 0;
}
