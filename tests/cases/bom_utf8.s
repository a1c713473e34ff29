.SYMBOL
  n 5
.CODE 0
  ld r1 n
.DATA 0 n
.END
