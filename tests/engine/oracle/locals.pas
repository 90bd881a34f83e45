{$mode delphiunicode}{$Q-}{$R-} // fpc-only
program locals;
uses SysUtils; // fpc-only
type
  TRow = array[1..4] of Integer;
  TPair = record k: string; v: Integer; end;
procedure Run;
var
  b: Byte; sm: SmallInt; i, n: Integer; a, c: TRow; s: string; pairs: array of TPair;
  total: Int64; w: Word;
begin
  b := 250;
  for i := 1 to 10 do Inc(b);
  sm := -32760;
  for i := 1 to 10 do Dec(sm, 1);
  writeln(b, ' ', sm);
  n := 0;
  for i := MaxInt - 2 to MaxInt do Inc(n);
  writeln('to MaxInt ', n, ' ', i);
  n := 0;
  for i := 5 downto -5 do n := n + i * i;
  writeln('downto ', n);
  for i := 1 to 4 do a[i] := i * 10;
  c := a; c[2] := -1;
  writeln(a[2], ' ', c[2], ' ', a[1] + c[4]);
  s := '';
  for i := 1 to 5 do s := s + Chr(Ord('a') + i);
  s := s + s;
  writeln(s, ' ', Length(s));
  SetLength(pairs, 3);
  for i := 0 to 2 do begin pairs[i].k := IntToStr(i); pairs[i].v := i * i; end;
  pairs[1].v := pairs[2].v + pairs[0].v + 100;
  writeln(pairs[1].k, '=', pairs[1].v);
  total := 0;
  for i := 1 to 100000 do total := total + i mod 7;
  writeln(total);
  w := 65530;
  i := 0;
  while w <> 4 do begin Inc(w, 2); Inc(i); end;
  writeln(w, ' ', i);
  n := 100; b := 200;
  for i := 1 to 10 do begin n := n - i; b := b + w; end;
  writeln(n, ' ', b);
end;
begin
  Run;
end.
