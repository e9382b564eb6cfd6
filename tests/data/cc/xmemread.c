/* Data in extended memory read and written from C: an import's length (its first four bytes)
   and first line, an xdata table, and a root buffer written through its physical address and
   read back, also across a 64 KB boundary of RAM. */
#ximport "xmemread.txt" text
xdata table { 10, 20, 30, 40 };

char line[64];
char buffer[8];

int main()
{
    long length;
    int i;
    unsigned long at;

    length = xgetlong(text);
    xmem2root(line, text + 4, 63);
    for (i = 0; i < 63 && line[i] != '\n'; i++)
        ;
    line[i] = 0;
    printf("%ld [%s]\n", length, line);

    printf("%d %d\n", xgetint(table), xgetint(table + 6));

    at = paddr(buffer);
    xsetint(at, 0x1234);
    xsetlong(at + 2, 0x56789ABCL);
    printf("%x %x %x %lx\n", buffer[0], buffer[1], xgetint(at), xgetlong(at + 2));
    root2xmem(at, "kx", 3);
    printf("%s\n", buffer);

    /* RAM past the program's variables and stack, across the boundary at 0xA0000 */
    xsetlong(0x9FFFEL, 0x11223344L);
    xmem2root(buffer, 0x9FFFEL, 4);
    printf("%lx %x %x\n", xgetlong(0x9FFFEL), buffer[1], buffer[2]);

    /* a span outside the physical space is refused and copies nothing */
    buffer[0] = 'z';
    printf("%d %d %c\n", xmem2root(buffer, 0xFFFFEL, 4), root2xmem(0x100000L, buffer, 1),
           buffer[0]);
    return 0;
}
