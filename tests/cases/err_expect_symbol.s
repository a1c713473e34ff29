; a program must start with .SYMBOL
.CODE 0
