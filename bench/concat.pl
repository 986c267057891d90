my $s = "";
for (my $i = 0; $i < 500000; $i++) { $s .= "ab"; }
print length($s), "\n";
