/* Costatements and cofunctions run from main's loop, main itself in xmem (the costatements
   resume there): waitfordone on a cofunction that yields, an indexed cofunction's instances
   with their own locals, a cofunction that waits for another, an aborted one, and one declared
   xmem. Each line tells the pass it was printed at. */
int n;
int c;
int d;
int m;

cofunc int twice(int a) { yield; return a * 2; }
cofunc int acc[2](int a) { int t; t = a; yield; t = t + 1; yield; return t; }
cofunc int inner(int a) { yield; return a + 1; }
cofunc int outer(int a) { int r; waitfordone { r = inner(a); } yield; return r * 2; }
cofunc int stop(int a) { m = a; abort; return 1; }
xmem cofunc int far(int a) { yield; return a + 100; }

xmem int main()
{
    int k;
    int done;
    for (k = 0; k < 8; k++) {
        costate {
            done = waitfordone { n = twice(21); }
            printf("%d: twice %d %d\n", k, n, done);
        }
        costate chain init_on {
            waitfordone { c = acc[0](10); d = acc[1](20); }
            printf("%d: acc %d %d\n", k, c, d);
            waitfordone { n = outer(3); }
            printf("%d: outer %d\n", k, n);
            done = waitfordone { c = stop(7); }
            printf("%d: stop %d %d\n", k, done, m);
            waitfordone { n = far(5); }
            printf("%d: far %d\n", k, n);
        }
    }
    return 0;
}
