/* Functions that return a pointer to a function, declared with the nested declarator: their
   own parameters are in scope in their bodies, and a constant 0 is their null pointer. */
int add(int a, int b) { return a + b; }
int sub(int a, int b) { return a - b; }

int (*pick(int which, int fallback))(int, int)
{
    if (which == 1)
        return add;
    if (which == 2)
        return sub;
    if (fallback)
        return add;
    return 0;
}

xmem int (*pick_far(int which))(int, int)
{
    return which ? sub : add;
}

int main()
{
    int (*f)(int, int);
    f = pick(1, 0);
    printf("%d ", f(30, 12));
    f = pick(2, 0);
    printf("%d ", f(30, 12));
    printf("%d ", pick(3, 1)(5, 6));
    printf("%d ", pick(3, 0) == 0);
    printf("%d\n", pick_far(1)(100, 1));
    return 0;
}
