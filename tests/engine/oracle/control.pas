{$mode delphiunicode}{$Q-}{$R-} // fpc-only
program control;
uses SysUtils; // fpc-only
var i, n: Integer; s: string;
function Fact(n: Integer): Int64;
begin
  if n <= 1 then Result := 1 else Result := n * Fact(n - 1);
end;
function Ack(m, n: Integer): Integer;
begin
  if m = 0 then Exit(n + 1);
  if n = 0 then Exit(Ack(m - 1, 1));
  Result := Ack(m - 1, Ack(m, n - 1));
end;
function IsEven(n: Integer): Boolean; forward;
function IsOdd(n: Integer): Boolean;
begin
  if n = 0 then IsOdd := False else IsOdd := IsEven(n - 1);
end;
function IsEven(n: Integer): Boolean;
begin
  if n = 0 then Result := True else Result := IsOdd(n - 1);
end;
function Counter(start: Integer): Integer;
var total: Integer;
  procedure Add(k: Integer);
    procedure Twice; begin total := total + 2 * k; end;
  begin Twice; total := total + k; end;
begin
  total := start;
  Add(1); Add(10);
  Result := total;
end;
function Grade(n: Integer): Char;
begin
  case n of
    90..100: Result := 'A';
    70..89: Result := 'B';
    0, 1, 2: Result := 'Z';
  else Result := '?';
  end;
end;
begin
  writeln(Fact(20), ' ', Ack(2, 3), ' ', IsEven(10), ' ', IsOdd(7));
  writeln(Counter(100));
  writeln(Grade(95), Grade(75), Grade(1), Grade(50));
  n := 0;
  for i := 1 to 100 do begin
    if i mod 3 = 0 then Continue;
    if i > 20 then Break;
    n := n + i;
  end;
  writeln(n, ' ', i);
  i := 0; s := '';
  while i < 5 do begin Inc(i); s := s + IntToStr(i); end;
  writeln(s);
  repeat Dec(i, 2); until i < 0;
  writeln(i);
  n := 0;
  for i := 1 to 0 do n := 99;
  writeln('empty loop ', n);
  if (n = 0) and ((10 div (n + 1)) > 5) then writeln('and') else writeln('no');
  if (n <> 0) or (n = 0) then writeln('or');
  writeln(not (1 > 2), ' ', (1 < 2) xor (2 < 3));
end.
