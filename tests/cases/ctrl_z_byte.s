; A Ctrl-Z byte is an ordinary name byte: it neither ends the source nor splits a token.
.SYMBOL  26 AB 27
.CODE 0
RET R1
.DATA 0  AB
.END
