.SYMBOL
        N       3
.CODE 0
:TOP    ADD  R1 R1 #N
        JMP  NOWHERE
        JT   R1 LATER
:LATER  RET  R1
.DATA 0
        TOP LATER
.END
