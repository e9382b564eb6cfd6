before_use
#use "outer.lib"
after_outer
#use "OUTER.LIB"
#use "inner.lib"
#use "sub\missing.lib"
#useix
#use
end_of_program
