{$mode delphiunicode}{$Q-}{$R-}{$J+} // fpc-only
program typedconst;
uses SysUtils; // fpc-only
// Typed constants: scalars, arrays (nested), records, arrays of records; local ones
// keep their value between calls; assigning a copy leaves the constant alone.
type
  TPoint = record x, y: Integer; name: string; end;
  TGrid = array[1..2, 1..3] of Integer;
  TFive = array[1..5] of Integer;
const
  Limit: Integer = 5;
  Primes: TFive = (2, 3, 5, 7, 11);
  Names: array[0..2] of string = ('zero', 'one', 'two');
  Origin: TPoint = (x: 3; y: -4; name: 'o');
  Grid: TGrid = ((1, 2, 3), (4, 5, 6));
  Rates: array[1..2] of Double = (1.5, 2);
  Pts: array[1..2] of TPoint = ((x: 1; y: 2; name: 'a'), (x: 5; y: 6; name: 'b'));
function Counter: Integer;
const Calls: Integer = 0;
begin
  Inc(Calls);
  Result := Calls;
end;
function Lookup(i: Integer): string;
const Words: array[1..3] of string = ('red', 'green', 'blue');
begin Result := Words[i]; end;
var i, sum: Integer; copyP: TFive;
begin
  sum := 0;
  for i := 1 to 5 do sum := sum + Primes[i];
  writeln(Limit, ' ', sum, ' ', Names[2], ' ', Origin.x + Origin.y, Origin.name);
  writeln(Grid[2, 3], ' ', Grid[1, 2], ' ', Rates[1] + Rates[2]:0:1, ' ', Pts[2].name, Pts[2].y);
  Counter; Counter; writeln('calls ', Counter);
  writeln(Lookup(1), Lookup(3));
  copyP := Primes; copyP[1] := 100; writeln(Primes[1], ' ', copyP[1]);
  Primes[2] := 33; writeln(Primes[2]);
end.
