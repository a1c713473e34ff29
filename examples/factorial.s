; factorial.s: computes N! with a subroutine called by JAL and left by RET.
.SYMBOL
        N       6
        RESULT  50
.CODE 0
        mov  r1 #N              ; argument
        jal  r31 fact           ; r31 = return address
        st   r2 RESULT
        trap r0 #0              ; stop

; fact: r2 = r1!, using r3 as the counter. Returns through r31.
:fact   mov  r2 #1
        mov  r3 r1
:again  le   r4 r3 #1
        jt   r4 done
        mul  r2 r2 r3
        sub  r3 r3 #1
        jmp  again
:done   ret  r31
.DATA 50
        0                       ; RESULT
.END
