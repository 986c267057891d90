" Vim file type detection for ruvo scripts (*.rv).
"
" Scripts are Shift_JIS unless they start with a byte-order mark or carry a "coding: utf-8"
" comment, so while a script is read Vim tries UTF-8 first and then code page 932 instead of
" falling back to Latin-1; the user's 'fileencodings' comes back once the file is in.
augroup ruvo_filetype
  autocmd!
  autocmd BufNewFile,BufRead *.rv setfiletype ruvo
  autocmd BufReadPre *.rv let s:ruvo_fencs = &fileencodings
        \ | set fileencodings=ucs-bom,utf-8,cp932
  autocmd BufReadPost *.rv if exists('s:ruvo_fencs')
        \ | let &fileencodings = s:ruvo_fencs | unlet s:ruvo_fencs | endif
augroup END
