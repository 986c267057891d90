my @parts;
for (my $i = 0; $i < 200000; $i++) { push @parts, "w" . ($i * 7919 % 100003); }
my $text = join(" ", @parts);
my @needles = ("w4242 ", "w99999 ", "w1 ", "zz", "w12345 w");
my ($found, $last) = (0, 0);
for (my $r = 0; $r < 20; $r++) {
    for (my $k = 0; $k < @needles; $k++) {
        my $p = index($text, $needles[$k]);
        while ($p >= 0) { $found++; $last = $p; $p = index($text, $needles[$k], $p + 1); }
    }
}
print length($text), " $found $last\n";
