/* The built-ins the runtime library declares like its functions: ipset and ipres around a
   critical section, and the instance count of an indexed cofunction, used in C. */
int count;

cofunc int acc[3](int a) { count = count + a; return count; }

int main()
{
    int instances;
    ipset(3);
    count = 7;
    ipres();
    instances = CofuncMaxInstance(acc);
    printf("%d %d\n", instances, count);
    return 0;
}
