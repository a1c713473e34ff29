; sum.s: adds up the ten numbers of ARRAY and stores the sum in TOTAL.
.SYMBOL
        ARRAY   100             ; the data section starts here
        COUNT   10
        TOTAL   110             ; the word after the array
.CODE 0
        mov  r1 #0              ; r1: running sum
        mov  r2 #0              ; r2: index
:loop   ld   r3 @ARRAY r2       ; r3 = ARRAY[r2]
        add  r1 r1 r3
        add  r2 r2 #1
        lt   r4 r2 #COUNT
        jt   r4 loop            ; until all COUNT numbers are added
        st   r1 TOTAL
        trap r0 #0              ; stop
.DATA 100
        3 1 4 1 5 9 2 6 5 3     ; ARRAY
        0                       ; TOTAL
.END
