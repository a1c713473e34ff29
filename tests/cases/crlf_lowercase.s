.SYMBOL N 3
.CODE 0
:top sub r1 r1 #1 ; count down
     jt r1 top
.DATA 0
 n -3 007 - 
.END
