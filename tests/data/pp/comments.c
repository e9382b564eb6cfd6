a /* one */ b
c  /* multi
line */ d
  lead 	 and   inner   blanks  
int \
  joined;
x = 1; // note \
swallowed = 2;
y = 3; // plain
s = "/* kept */ // kept";
t = "ab\
cd";
u = '\'';
v = "esc \" quote";
last = "open
/* never closed
still comment
