sub desc { return $_[1] <=> $_[0]; }
my @a; my $x = 7;
for (my $i = 0; $i < 50000; $i++) { $x = ($x * 16807) % 2147483647; push @a, $x % 100000; }
@a = sort { desc($a, $b) } @a;
print "$a[0] $a[25000] $a[49999]\n";
