#define STR(a) #a
#define XSTR(a) STR(a)
#define CAT(a, b) a ## b
#define V 7
#define ADD(a, b) ((a) + (b))
#define EMPTY() nothing
#define ONE(a) [a]
#define SELF SELF
#define A B + 1
#define B A * 2
#define HEX(abc) 0xabc abc
#define LIT(p) "p stays" p
s1 = STR(  a  "q\"" 'x'   b );
s2 = STR(V);
s3 = XSTR(V);
c1 = CAT(V, 1) CAT(x, V);
c2 = CAT(CA, T)(p, q);
a1 = ADD(1,
         2);
a2 = ADD((1, 2), [3]);
e1 = EMPTY() ONE() ONE(  );
r1 = SELF A B;
h1 = HEX(5) LIT(9);
f1 = ADD
(3, 4);
f2 = ADD;
j1 = "one" "two"   "three";
