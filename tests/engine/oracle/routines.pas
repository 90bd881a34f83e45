{$mode delphiunicode}{$Q-}{$R-} // fpc-only
program routines;
uses SysUtils; // fpc-only
// Overloaded routines chosen by argument types; default parameter values.
function Show(n: Integer): string; overload;
begin Result := 'int ' + IntToStr(n); end;
function Show(const s: string): string; overload;
begin Result := 'str ' + s; end;
function Show(d: Double): string; overload;
begin Result := 'real ' + FloatToStr(d); end;
function Show(a, b: Integer): string; overload;
begin Result := 'pair ' + IntToStr(a + b); end;
procedure Bump(var n: Integer); overload; begin Inc(n); end;
procedure Bump(var s: string); overload; begin s := s + '!'; end;
function Greet(const who: string; times: Integer = 2; const sep: string = ', '): string;
var i: Integer;
begin
  Result := '';
  for i := 1 to times do begin if i > 1 then Result := Result + sep; Result := Result + who; end;
end;
procedure Log(level: Integer = 1); begin writeln('level ', level); end;
function Size(n: Int64): string; overload; forward;
function Size(n: Integer): string; overload; begin Result := 'Integer'; end;
function Size(n: Int64): string; overload; begin Result := 'Int64'; end;
function Size(c: Char): string; overload; begin Result := 'Char'; end;
function Size(b: Boolean): string; overload; begin Result := 'Boolean'; end;
function Fmt(x: Double; digits: Integer = 2): string;
begin Result := IntToStr(Round(x * digits)); end;
function Twice(x: Double = 1.5): Double; begin Result := x * 2; end;
function Pick(c: Char = 'z'): Char; begin Result := c; end;
var n: Integer; s: string; b: Byte;
begin
  writeln(Show(3)); writeln(Show('x')); writeln(Show(2.5)); writeln(Show(1, 2));
  b := 7; writeln(Show(b));
  n := 1; s := 'hi'; Bump(n); Bump(s); writeln(n, ' ', s);
  writeln(Greet('a')); writeln(Greet('b', 3)); writeln(Greet('c', 3, '-'));
  Log; Log(); Log(5);
  writeln(Twice:0:2, ' ', Twice(2):0:2, ' ', Pick, Pick('q'));
  writeln(Size(n), ' ', Size(Int64(n) * 10000000000), ' ', Size('c'), ' ', Size(True));
  writeln(Fmt(3.14159), ' ', Fmt(3.14159, 4), ' ', Fmt(Twice));
end.
