; Every instruction form, one per line, with the four numbers each is written as.
.symbol
    SP 31          ; a constant may name a register
    K  9
    BUF 100
.code 0
    add r1 r2 r3       ; 32 1 2 3
    sub r1 r2 #-4      ; 11 1 2 -4
    mul r1 r2 r3
    div r1 r2 #2
    and r1 r2 r3
    or  r1 r2 #255
    xor r1 r2 r3
    eq  r1 r2 #0
    ne  r1 r2 r3
    lt  r1 r2 #K
    le  r1 r2 r3
    gt  r1 r2 #1
    ge  r1 r2 r3
    shl r1 r2 #3
    shr r1 r2 r3
    mod r1 r2 #10
    ld  r1 BUF         ; plain memory operand
    ld  r1 @BUF r2     ; "@": value then register
    ld  r1 +K r2       ; "+": defined value then register
    st  r3 BUF
    st  r3 @4 r4
    st  r3 +4 r4
    mov r1 r2          ; written as OR with register 0
    mov r1 #5          ; written as OR immediate
    mov r1 #
    jmp 0              ; written as JF on register 0
    jal r31 0
    jt  r1 1
    jf  r1 2
    ret r31
    trap r0 #K
    push SP r1
    pop  r1 SP
    r1  r2 BUF         ; a register name used as a mnemonic acts by its number: LD
    r6  3              ; JMP
    add add r1 r2      ; a mnemonic used as a value stands for its number
.data 0
.end
