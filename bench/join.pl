my @parts;
for (my $i = 0; $i < 300000; $i++) { push @parts, "item" . $i; }
my $s = join(",", @parts);
my @back = split(/,/, $s);
print length($s), " ", scalar(@back), "\n";
