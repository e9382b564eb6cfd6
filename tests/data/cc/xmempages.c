/* Extended-memory code over several 4 KB pages: functions whose statements run on past a page
   (the code goes on in the next one), loops whose heads lie a page behind their ends, calls
   between xmem functions in different pages (from root, from xmem and through a pointer), and
   a value that rides through them all. */
#define MIX(k) acc = acc * 5 + (k); acc = acc ^ (acc >> 3);
#define MIX4(k) MIX(k) MIX(k + 1) MIX(k + 2) MIX(k + 3)
#define MIX16(k) MIX4(k) MIX4(k + 4) MIX4(k + 8) MIX4(k + 12)
#define MIX64(k) MIX16(k) MIX16(k + 16) MIX16(k + 32) MIX16(k + 48)

xmem unsigned mix_a(unsigned seed, int rounds)
{
    unsigned acc;
    int r;
    acc = seed;
    for (r = 0; r < rounds; r++) {
        MIX64(r)
        MIX64(r + 64)
    }
    return acc;
}

xmem unsigned mix_b(unsigned seed, int rounds)
{
    unsigned acc;
    int r;
    acc = seed;
    r = 0;
    while (r < rounds) {
        MIX64(r * 2)
        MIX64(r * 3)
        acc = acc + mix_a(acc, 1);
        r++;
    }
    return acc;
}

xmem long mix_c(unsigned (*f)(unsigned, int), unsigned seed)
{
    unsigned acc;
    long total;
    int r;
    acc = seed;
    total = 0;
    for (r = 0; r < 3; r++) {
        MIX64(r + 7)
        MIX64(r + 9)
        total = total + f(acc, 2);
    }
    return total;
}

int main()
{
    printf("%u %u\n", mix_a(1, 1), mix_a(12345, 3));
    printf("%u\n", mix_b(7, 2));
    printf("%ld %ld\n", mix_c(mix_a, 3), mix_c(mix_b, 99));
    return 0;
}
