#define SQ(x) ((x)*(x))
#define STR(a) #a
#define CAT(a,b) a##b
#define N 4
int y = SQ(N+1);
char *s = STR("q" N);
CAT(N,x) = CAT(fo,o);
#define SELF SELF + 1
SELF;
#define P Q
#define Q P
P Q;
#define F(a) a
F
(7) after;
#define HEX(abc) 0xabc + abc
HEX(1);
#define FLASH_SIZE FLASH_SIZE
FLASH_SIZE;
char *t = "one" "two";
