/* printf with every conversion, widths, precisions and flags; sprintf into a buffer. */

int main()
{
    char buffer[40];
    int n;

    printf("[%d] [%i] [%u] [%x] [%X] [%c] [%s] [%%]\n", -42, 42, 65000u, 0xBEEF, 0xbeef, 'k', "text");
    printf("[%6d] [%-6d] [%06d] [%+d] [% d] [%+d]\n", 42, 42, -42, 42, 42, -42);
    printf("[%8x] [%-8X] [%08x] [%#x] [%#X]\n", 0x1F, 0x1F, 0x1F, 255, 255);
    printf("[%10s] [%-10s] [%.2s] [%5c]\n", "abc", "abc", "abc", 'z');
    printf("[%ld] [%lu] [%lx] [%12ld] [%-12lu] [%012lx]\n", -100000L, 4000000000UL, 0xDEADBEEFL,
           -7L, 7UL, 0xABCL);
    printf("[%f] [%.2f] [%10.3f] [%-10.1f] [%+.0f] [%#.0f] [%f]\n", 3.14159, 2.5, -1.0625, 0.5, 2.5,
           3.0, 1234567.0);
    printf("[%*d] [%-*d] [%.*f]\n", 5, 1, 5, 1, 3, 1.5);
    n = sprintf(buffer, "%s-%d-%x", "id", 12, 255);
    printf("%s %d %d\n", buffer, n, strlen(buffer));
    return 0;
}
