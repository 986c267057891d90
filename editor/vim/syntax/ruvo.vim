" Vim syntax file for ruvo scripts (*.rv).
"
" The keywords are the scanner's and the built-in names are the interpreter's vocabulary:
" tests/lib/vim_syntax_test.cpp fails when either list and this file part ways.
if exists('b:current_syntax')
  finish
endif
let s:cpo_save = &cpo
set cpo&vim

syn case match
" Names may hold any byte from 0x80 up (Japanese letters included).
syn iskeyword @,48-57,_,128-255

syn keyword rvStatement   var extern static function return break continue new class
syn keyword rvConditional if else elif switch case
syn keyword rvRepeat      while foreach for do
syn keyword rvException   try catch
syn keyword rvBoolean     true false
syn keyword rvNull        null
" "default" before a colon, the forms that take an argument list only before "(".
syn match   rvLabel       "\<default\ze\_s*:"
syn match   rvStatement   "\<\%(struct\|swap\|let\)\ze\_s*("

syn keyword rvBuiltin abs acos acosh array arrayi asin asinh atan atanh beep binmode bjoin
syn keyword rvBuiltin bround bsplit cat ceil chdir chmod chomp chop chr clamp clear close comb
syn keyword rvBuiltin convnum copy cos cosh decode deepcopy deserial detab dir encode entab
syn keyword rvBuiltin eof erase error errorf eval exit exp fact factor fcopy finite floor
syn keyword rvBuiltin flush fmove format fulldir fullpath gc gcd getch getche getcwd gets
syn keyword rvBuiltin grep gsub hash index int jindex jlen join jrindex jrsubstr jsubstr kbhit
syn keyword rvBuiltin key keys lcm len localtime log log10 ltrim map match max min mkdir num
syn keyword rvBuiltin open ord pack perm pksize pop pow print printf push puts rand random
syn keyword rvBuiltin read regexp rename resize reverse rewind rindex rmap rmdir round rsubstr
syn keyword rvBuiltin rtrim serial shift sign sin sinh sleep slice sort splice split splitpath
syn keyword rvBuiltin sprintf sqrt srand stat str strict sub substr system tan tanh tick time
syn keyword rvBuiltin tolower toupper tr trim txtmode type uint unlink unpack unshift write
" graphics
syn keyword rvBuiltin box circle cls color fill font gpos gprint gprintf line paint point
syn keyword rvBuiltin pset screen update view window
" native functions and automation
syn keyword rvBuiltin dllfunc comobj comget dotnet

syn match   rvConstant    "@\%(pi\|e\|nan\|inf\|eps\|max\|min\)\>"
syn keyword rvConstant    __FILE__ __LINE__
" Match variables and the other "$" names.
syn match   rvSpecial     "\$\%(\d\+\|[&'+_`]\|\k\+\)"

syn match   rvNumber      "\<\d\+\%(\.\d*\)\=\%([eE][+-]\=\d\+\)\=\>"
syn match   rvNumber      "\.\d\+\%([eE][+-]\=\d\+\)\=\>"
syn match   rvNumber      "\<0[0-7_]\+\>"
syn match   rvNumber      "\<0x[0-9a-fA-F_]\+\>"
syn match   rvNumber      "\<0b[01_]\+\>"

syn match   rvEscape      contained "\\\%([abfnrtv"'\\0]\|x\x\{1,2}\|o\o\{1,3}\)"
syn region  rvString      start=+"+ skip=+\\\\\|\\"+ end=+"+ end=+$+ contains=rvEscape,@Spell
syn region  rvString      start=+'+ skip=+\\'+ end=+'+ end=+$+ contains=@Spell
" A here-string: three quotes ending their line, up to three quotes at the start of a line.
syn region  rvString      start=+"""\ze\s*$+ end=+^"""+ contains=@Spell

" A regular expression where a value may begin: after an operator, a bracket or "return".
syn region  rvRegex       matchgroup=rvRegexDelim
      \ start=+\%(\%(^\|[=(,!~&|?:;{}[+\-*%<>]\|\<return\)\s*\)\@<=/[/*]\@!+
      \ skip=+\\/+ end=+/[im]*+ oneline

syn keyword rvTodo        contained TODO FIXME XXX NOTE
syn region  rvComment     start="/\*" end="\*/" contains=rvTodo,@Spell
syn match   rvComment     "//.*$" contains=rvTodo,@Spell

" Preprocessor lines; a backslash at the end of one continues it.
syn region  rvPreProc     start="^\s*#" skip="\\$" end="$"
      \ contains=rvInclude,rvDefine,rvPreCond,rvString,rvComment
syn match   rvInclude     contained "^\s*#\s*include\>"
syn match   rvDefine      contained "^\s*#\s*\%(define\|undef\)\>"
syn match   rvPreCond     contained "^\s*#\s*\%(ifdef\|ifndef\|if\|elif\|else\|endif\|error\|line\)\>"

hi def link rvStatement   Statement
hi def link rvConditional Conditional
hi def link rvRepeat      Repeat
hi def link rvException   Exception
hi def link rvLabel       Label
hi def link rvBoolean     Boolean
hi def link rvNull        Constant
hi def link rvBuiltin     Function
hi def link rvConstant    Constant
hi def link rvSpecial     Identifier
hi def link rvNumber      Number
hi def link rvString      String
hi def link rvEscape      SpecialChar
hi def link rvRegex       String
hi def link rvRegexDelim  Delimiter
hi def link rvTodo        Todo
hi def link rvComment     Comment
hi def link rvPreProc     PreProc
hi def link rvInclude     Include
hi def link rvDefine      Define
hi def link rvPreCond     PreCondit

let b:current_syntax = 'ruvo'
let &cpo = s:cpo_save
unlet s:cpo_save
