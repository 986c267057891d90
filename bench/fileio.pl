open(my $f, ">", "/tmp/ruvo-bench-fileio.txt") or die;
for (my $i = 0; $i < 200000; $i++) { print $f "line number $i\n"; }
close($f);
open($f, "<", "/tmp/ruvo-bench-fileio.txt") or die;
my ($n, $bytes) = (0, 0);
while (my $line = <$f>) { $n++; $bytes += length($line); }
close($f);
unlink("/tmp/ruvo-bench-fileio.txt");
print "$n $bytes\n";
