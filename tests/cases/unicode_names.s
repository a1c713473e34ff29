; names that upper-casing "a" to "z" alone keeps apart from the mnemonics: the long s and the
; st ligature are no "S" and "ST" (and "dıv", with a dotless i, is no DIV).
.SYMBOL
        ſt      7
.CODE 0
:ﬆ     add  r1 r1 #ſt
        jmp  ﬆ
.DATA 0
        ſt ﬆ
.END
