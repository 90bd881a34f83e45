{$mode delphiunicode}{$Q-}{$R-} // fpc-only
program integers;
uses SysUtils; // fpc-only
var
  b: Byte; si: ShortInt; w: Word; sm: SmallInt; i, j: Integer; c: Cardinal; i64: Int64;
  k: Integer;
begin
  b := 200; b := b + 100; writeln('byte wraps ', b);
  b := 0; Dec(b); writeln('byte below zero ', b);
  si := 127; Inc(si); writeln('shortint ', si);
  w := 65535; Inc(w, 2); writeln('word ', w);
  sm := -32768; Dec(sm); writeln('smallint ', sm);
  i := MaxInt; Inc(i); writeln('integer ', i);
  i := 100000; j := 100000;
  i64 := i * j; writeln('widened product ', i64);
  writeln('product written ', i * j);
  k := i * j; writeln('product stored ', k);
  c := 4000000000; writeln('cardinal ', c, ' ', c + c);
  c := 0; Dec(c); writeln('cardinal below zero ', c);
  i64 := High(Int64); Inc(i64); writeln('int64 wraps ', i64);
  i := -7;
  writeln('div mod ', i div 2, ' ', i mod 2, ' ', 7 div -2, ' ', 7 mod -2);
  writeln('shifts ', i shr 1, ' ', i shl 3, ' ', 1 shl 40, ' ', i64 shr 60);
  writeln('logic ', 12 and 10, ' ', 12 or 3, ' ', 12 xor 5, ' ', not 0);
  writeln('abs sqr ', Abs(-5), ' ', Sqr(12), ' ', Odd(7), ' ', Odd(-4));
  writeln('ord chr ', Ord('A'), ' ', Chr(97), ' ', Succ(5), ' ', Pred('b'));
  writeln('low high ', Low(Byte), ' ', High(SmallInt), ' ', High(Cardinal), ' ', Low(Int64));
  writeln('hex ', $FF + $10, ' ', IntToHex(48879, 6));
  writeln('conv ', StrToInt('-123') + 1, ' ', StrToIntDef('12x', 99), ' ', IntToStr(High(Int64)));
  k := 0;
  for i := 10 downto 1 do k := k * 3 + i;
  writeln('loop ', k);
  i64 := 0; b := 7; c := 1;
  for k := 1 to 5 do begin i64 := i64 - k; b := b + b; c := c - b; end;
  writeln('running totals ', i64, ' ', b, ' ', c);
  writeln('precedence ', 2 + 3 * 4 - 10 div 3, ' ', -2 * -3, ' ', (2 + 3) * 4);
end.
