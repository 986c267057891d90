" Vim file type settings for ruvo scripts: C-like comments and indenting.
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

setlocal comments=sO:*\ -,mO:*\ \ ,exO:*/,s1:/*,mb:*,ex:*/,:// commentstring=//\ %s
setlocal cindent cinkeys-=0#
setlocal suffixesadd=.rv

let b:undo_ftplugin = 'setlocal comments< commentstring< cindent< cinkeys< suffixesadd<'
