my @keep; my $sum = 0;
for (my $i = 0; $i < 300000; $i++) {
    my $p = [$i, $i + 1, [$i]];
    $sum += $p->[1] - $p->[0] + $p->[2][0] % 2;
    push @keep, $p if $i % 1000 == 0;
}
print "$sum ", scalar(@keep), "\n";
