{$mode delphiunicode}{$Q-}{$R-} // fpc-only
program strings;
uses {$ifdef unix}cwstring,{$endif} SysUtils, StrUtils; // fpc-only
var
  s, t: string; ch: Char; i, n: Integer; a: AnsiString;
begin
  SetTextCodePage(Output, CP_UTF8); // fpc-only
  s := 'Grüße aus Köln';
  writeln(s, ' ', Length(s));
  writeln(AnsiUpperCase(s), ' ', AnsiLowerCase('ÄÖÜ'));
  writeln(UpperCase('abc'), ' ', LowerCase('XyZ'));
  writeln(Copy(s, 7, 3), '|', Copy(s, 12, 100), '|', Copy(s, 0, 2), '|');
  writeln(Pos('aus', s), ' ', Pos('x', s), ' ', PosEx('ö', 'öaöb', 2));
  t := s; t[1] := 'g'; writeln(s[1], t[1]);
  Insert('!!', t, 3); writeln(t);
  Delete(t, 1, 4); writeln(t);
  writeln('[', Trim('  pad  '), '][', TrimLeft('  l'), '][', TrimRight('r  '), ']');
  writeln(StringReplace('a.b.c', '.', '::', [rfReplaceAll]), ' ', StringReplace('AbAb', 'ab', 'x', [rfIgnoreCase]));
  writeln(QuotedStr('it''s'), ' ', StringOfChar('*', 5), ' ', ReverseString('abc'));
  writeln(CompareText('abc', 'ABC'), ' ', SameText('Key', 'KEY'), ' ', CompareStr('b', 'a') > 0);
  writeln('a' < 'b', ' ', 'abc' < 'abd', ' ', 'Z' < 'a', ' ', 'ab' = 'ab');
  n := 0;
  for i := 1 to Length(s) do
    if s[i] = 'ü' then n := i;
  writeln('umlaut at ', n);
  t := '';
  for ch := 'a' to 'e' do t := t + ch;
  writeln(t, ' ', t + #33 + #$41, ' ', Ord(t[2]));
  t := 'x'#9'y';
  writeln(Length(t), ' ', Ord(t[2]));
  a := 'plain';
  writeln(a, ' ', Length(a));
  s := Format('%s=%d (%.2f) [%5s] [%-5s] %3d%%', ['n', 42, 2.0 / 3, 'ab', 'cd', 7]);
  writeln(s);
  writeln(IntToStr(-5) + '/' + FloatToStr(2.5) + '/' + FloatToStr(1 / 3) + '/' + FloatToStr(1E20));
  writeln(FloatToStr(100), ' ', FloatToStr(-0.125), ' ', FloatToStr(123456.789));
  writeln(StrToFloat('2.75') * 2:0:2, ' ', FormatFloat('0.00', 3.14159), ' ', FormatFloat('#,##0.0', 1234567.25));
  writeln(LeftStr('abcdef', 2), RightStr('abcdef', 2), MidStr('abcdef', 2, 3));
end.
