# A program that is one 64 MB comment and one 64 MB string literal, compiled by eval.
my $s = "x" x 67108864;
print eval("# $s\nlength(\"$s\")"), "\n";
