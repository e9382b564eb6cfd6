/* %o takes the flags, widths and precisions of the other integer conversions, with l for a
   long; NULL comes with every program. */
int main()
{
    char *p;
    p = NULL;
    printf("[%o] [%o] [%5o] [%-5o] [%05o] [%#o] [%#o] [%.3o] [%#5o]\n", 0, 8, 64, 7, 9, 8, 0, 5,
           8);
    printf("[%lo] [%12lo] [%#lo] [%o] [%-8lo]\n", 2147483647L, 65536L, 8L, 65535u, 9L);
    printf("%d %d %d\n", p == NULL, NULL == 0, sizeof(NULL));
    return 0;
}
