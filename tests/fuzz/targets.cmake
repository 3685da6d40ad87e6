# potemaru_fuzz(<name> <source> LINK <libraries>)
