; copy.s: copies a block of LEN words from SRC to DST with "+" (register plus offset) addressing.
.SYMBOL
        SRC     200
        DST     300
        LEN     5
.CODE 0
        mov  r1 #SRC            ; r1: source pointer
        mov  r2 #DST            ; r2: destination pointer
        mov  r3 #LEN            ; r3: words left
:next   ld   r4 +0 r1           ; r4 = memory[r1 + 0]
        st   r4 +0 r2           ; memory[r2 + 0] = r4
        add  r1 r1 #1
        add  r2 r2 #1
        sub  r3 r3 #1
        jt   r3 next
        trap r0 #0              ; stop
.DATA 200
        10 20 30 40 50          ; the block at SRC
.END
