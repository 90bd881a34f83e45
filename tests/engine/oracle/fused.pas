{$mode delphiunicode}{$Q-}{$R-} // fpc-only
program fused;
uses SysUtils; // fpc-only
// Shapes the code generator fuses into one instruction: compare-and-branch on locals,
// local plus constant with narrowing, array elements at a local index.
type
  TColor = (Red, Green, Blue);
  TRow = array[0..4] of Integer;
var
  g: array of Integer;
  gs: TRow;

function Classify(a, b: Integer): string;
begin
  Result := '';
  if a = b then Result := Result + '=';
  if a <> b then Result := Result + '#';
  if a < b then Result := Result + '<';
  if a > b then Result := Result + '>';
  if a <= b then Result := Result + 'l';
  if a >= b then Result := Result + 'g';
  if a < 3 then Result := Result + '3';
  if a >= -2 then Result := Result + 'm';
end;

function Twice(n: Integer): Integer;
begin
  Result := n * 2;
end;

function Wrap(n: Integer; b: Byte; w: Word; s: ShortInt): string;
var k: Int64;
begin
  k := n;
  Result := IntToStr(Twice(n + 1)) + ' ' + IntToStr(Byte(b + 10)) + ' ' + IntToStr(Word(w - 1)) +
    ' ' + IntToStr(ShortInt(s + 100)) + ' ' + IntToStr(k + 1) + ' ' + IntToStr(n - 2147483647);
end;

// narrowing stores into locals, local-to-local copies (values, not shared)
procedure Stores;
type TRec = record n: Integer; s: string; end;
var x, y: Integer; b, c: Byte; w: Word; r1, r2: TRec; s1, s2: string; big: Int64;
begin
  x := 2147483647; y := 10;
  x := x + y;
  b := 200; c := b; b := b * 3;
  w := 65535; w := w + c;
  big := x; big := big * 3;
  r1.n := 1; r1.s := 'one'; r2 := r1; r2.n := 2; r2.s := r2.s + '!';
  s1 := 'ab'; s2 := s1; s2 := s2 + 'c';
  writeln(x, ' ', b, ' ', c, ' ', w, ' ', big, ' ', r1.n, r1.s, ' ', r2.n, r2.s, ' ', s1, ' ', s2);
end;

procedure Arrays;
var
  a: array of Integer; r, c: TRow; i, j, t, lim: Integer; ch: Char; col: TColor; ok: Boolean;
begin
  SetLength(a, 5);
  for i := 0 to 4 do a[i] := i * i;
  for i := 0 to 4 do r[i] := 10 - i;
  c := r;
  j := 2;
  c[j] := -1;                 // a copy: r keeps its element
  t := a[j]; a[j] := a[4]; a[4] := t;
  writeln(a[0], ' ', a[2], ' ', a[4], ' ', r[j], ' ', c[j]);
  for i := 0 to 4 do begin g[i] := a[i] + r[i]; gs[i] := g[i] * 2; end;
  i := 1; lim := 15;
  while g[i] < lim do Inc(i);
  while i > a[j] do Dec(i);
  writeln('first >= 15 then back to ', i, ' ', g[i], ' ', gs[i]);
  ch := 'c'; col := Green; ok := True;
  if ch > 'b' then writeln('char >');
  if col <= Blue then writeln('enum <=');
  if ok = True then writeln('bool =');
end;

var i, n: Integer;
begin
  SetLength(g, 5);
  writeln(Classify(1, 2), ' ', Classify(2, 2), ' ', Classify(5, -3), ' ', Classify(-3, -3));
  writeln(Wrap(2147483647, 250, 0, 100));
  writeln(Wrap(-5, 1, 7, -128));
  Arrays;
  Stores;
  n := 0;
  for i := 1 to 10 do if i mod 3 <> 0 then n := n + i;
  writeln(n);
end.
