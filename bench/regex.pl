my ($n, $total) = (0, 0);
for (my $i = 0; $i < 100000; $i++) {
    my $line = "key" . ($i % 977) . " = value" . $i . " ; note";
    $n++ if $line =~ /([a-z]+)([0-9]+)/;
    (my $t = $line) =~ s/[0-9]+/#/g;
    $total += length($t);
}
print "$n $total\n";
