.SYMBOL X ten
