my $s = 0;
for (my $i = 0; $i < 3000000; $i++) { $s = ($s + $i * $i) % 1000003; }
print "$s\n";
