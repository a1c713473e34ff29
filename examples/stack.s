; stack.s: reverses three values by pushing them onto a stack and popping them back.
.SYMBOL
        SP      30              ; register 30 is the stack pointer
        STACK   1000            ; the stack's base address
        VALUES  500
.CODE 0
        mov  SP #STACK
        ld   r1 VALUES
        ld   r2 @VALUES r0      ; the same word, by "@" addressing
        ld   r3 +2 r0           ; memory[r0 + 2]
        push SP r1
        push SP r2
        push SP r3
        pop  SP r1              ; r1 now holds what r3 held
        pop  SP r2
        pop  SP r3
        trap r0 #0              ; stop
.DATA 500
        7 8 9
.END
