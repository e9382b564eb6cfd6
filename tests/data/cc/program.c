/* The shapes of a program: arrays, structures (copied, passed and returned), unions, function
   pointers, dense and sparse switches with a default, recursion, goto, a static local set by the
   initialisation chain and initialised globals. */

struct point {
    int x, y;
    long weight;
};

union word {
    long l;
    unsigned char b[4];
};

int squares[6] = { 0, 1, 4, 9, 16, 25 };
char name[] = "korvex";
struct point origin = { 3, -4, 100000L };

struct point moved(struct point p, int dx)
{
    p.x = p.x + dx;
    p.weight = p.weight * 2;
    return p;
}

int fact(int n)
{
    if (n <= 1)
        return 1;
    return n * fact(n - 1);
}

int twice(int v) { return v * 2; }
int negate(int v) { return -v; }

/* An initialised static is a constant in flash here: a counter that starts at 10 is set by
   the initialisation chain, which runs before main. */
int counter()
{
    static int calls;
#GLOBAL_INIT
    {
        calls = 10;
    }
    calls++;
    return calls;
}

char *dense(int k)
{
    switch (k) {
    case 0: return "zero";
    case 1: return "one";
    case 2: return "two";
    case 3: return "three";
    case 4: return "four";
    default: return "many";
    }
}

int sparse(int k)
{
    switch (k) {
    case -1000: return 1;
    case 7: return 2;
    case 300: return 3;
    case 30000: return 4;
    }
    return 0;
}

int main()
{
    struct point a, b;
    union word w;
    int (*op)(int);
    int i, total;

    a = origin;
    b = moved(a, 5);
    printf("%d %d %ld / %d %d %ld\n", a.x, a.y, a.weight, b.x, b.y, b.weight);

    w.l = 0x12345678L;
    printf("%x %x %x %x\n", w.b[0], w.b[1], w.b[2], w.b[3]);

    total = 0;
    for (i = 0; i < 6; i++)
        total = total + squares[i];
    printf("%s %d %d\n", name, total, sizeof(name));

    op = twice;
    printf("%d", op(21));
    op = negate;
    printf(" %d\n", op(21));

    printf("%d %d\n", fact(7), fact(1));
    i = counter();
    total = counter();
    printf("%d %d %d\n", i, total, counter());

    for (i = -1; i < 7; i++)
        printf("%s ", dense(i));
    printf("\n%d %d %d %d %d\n", sparse(-1000), sparse(7), sparse(300), sparse(30000), sparse(8));

    i = 0;
again:
    i++;
    if (i < 5)
        goto again;
    printf("goto %d\n", i);
    return 0;
}
