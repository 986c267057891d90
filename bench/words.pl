my @vocab = split(/ /, "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma tau upsilon phi chi psi omega");
my $x = 1; my %counts;
for (my $i = 0; $i < 300000; $i++) {
    $x = ($x * 16807) % 2147483647;
    my $w = $vocab[$x % 24] . ($x % 50);
    $counts{$w}++;
}
my @k = sort keys %counts;
print scalar(@k), " ", $counts{$k[0]}, " ", $k[0], "\n";
