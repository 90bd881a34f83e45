// What the dialect adds to the Free Pascal oracle: case on strings, variants,
// 8-bit strings, Format with array of const, typed constants.
const
  Limit = 3;
  Greeting: string = 'hi';
  Digits = ['0'..'9'];
type
  TDay = (Mon, Tue, Wed);
var
  v, w: Variant; a: AnsiString; s: string; i: Integer; d: TDay;
  grid: array of array of Integer;

function Kind(const s: string): string;
begin
  case s of
    'red', 'green': Result := 'colour';
    'one': Result := 'number';
  else
    Result := 'other';
  end;
end;

begin
  Writeln(Kind('green'), ' ', Kind('one'), ' ', Kind('Green'));  //> colour number other
  v := 40; w := 2;
  Writeln(v + w, ' ', v * 1.5, ' ', v > w);                      //> 42 60 TRUE
  v := 'abc'; Writeln(v + 'def', ' ', Length(VarToStr(v)));        //> abcdef 3
  v := Null; Writeln(VarIsNull(v), ' ', VarIsNull(w));            //> TRUE FALSE
  v := True; Writeln(v);                                          //> True
  i := w; Writeln(i * 10);                                        //> 20
  a := 'Köln';
  s := a;
  Writeln(Length(a), ' ', Length(s), ' ', s);                      //> 5 4 Köln
  Writeln(Format('%s has %d items at %.1f%%', ['cart', Limit, 12.25]));  //> cart has 3 items at 12.3%
  Writeln(Greeting, ' ', '5' in Digits, ' ', 'x' in Digits);       //> hi TRUE FALSE
  d := Tue; Writeln(d, ' ', Ord(d), ' ', High(TDay));              //> Tue 1 Wed
  SetLength(grid, 2, 3);
  grid[1][2] := 7;
  Writeln(Length(grid), ' ', Length(grid[0]), ' ', grid[1, 2]);    //> 2 3 7
  s := 'x';
  s += 'y';
  Writeln(s, ' ', Concat('a', 'b', 'c'));                          //> xy abc
  Writeln(SameText('ÄBC', 'äbc'), ' ', AnsiSameText('ÄBC', 'äbc')); //> FALSE TRUE
  Writeln(BoolToStr(True, True), ' ', StrToBool('yes'));           //> True TRUE
end.
