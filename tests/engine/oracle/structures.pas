{$mode delphiunicode}{$Q-}{$R-} // fpc-only
program structures;
uses SysUtils; // fpc-only
type
  TSuit = (Hearts, Diamonds, Clubs, Spades);
  TSuits = set of TSuit;
  TCard = record
    Suit: TSuit;
    Rank: Integer;
    Name: string;
  end;
  THand = array[1..3] of TCard;
  TGrid = array[0..2, 0..2] of Integer;
  TList = array of Integer;
var
  c, d: TCard; h, h2: THand; g: TGrid; l, m: TList; s: TSuits; i, j, total: Integer;
  chars: set of AnsiChar; b1, b2, b3: Boolean; st: TSuit; names: array of string;
procedure Bump(var x: Integer; by: Integer); begin x := x + by; end;
procedure Fill(var arr: TList; n: Integer);
var k: Integer;
begin
  SetLength(arr, n);
  for k := 0 to n - 1 do arr[k] := k * k;
end;
function Sum(const arr: array of Integer): Integer;
var k: Integer;
begin
  Result := 0;
  for k := Low(arr) to High(arr) do Result := Result + arr[k];
end;
begin
  c.Suit := Spades; c.Rank := 12; c.Name := 'Queen';
  d := c; d.Rank := 1; d.Name := 'Ace';
  writeln(c.Name, ' ', c.Rank, ' ', d.Name, ' ', d.Rank, ' ', Ord(d.Suit));
  h[1] := c; h[2] := d; h2 := h; h2[1].Rank := 99;
  writeln(h[1].Rank, ' ', h2[1].Rank, ' ', h[2].Name);
  with h[3] do begin Suit := Hearts; Rank := 5; Name := 'Five'; end;
  writeln(h[3].Name, h[3].Rank);
  for i := 0 to 2 do for j := 0 to 2 do g[i, j] := i * 3 + j;
  writeln(g[2, 1], ' ', g[1][2]);
  Fill(l, 5);
  writeln(Length(l), ' ', l[4], ' ', Sum(l), ' ', High(l));
  m := l; m[0] := 100; writeln('shared ', l[0]);
  m := Copy(l, 1, 2); m[0] := -1; writeln('copied ', l[1], ' ', Length(m), ' ', m[1]);
  SetLength(l, 7); writeln(Length(l), ' ', l[4], ' ', l[6]);
  Bump(l[2], 10); Bump(c.Rank, 1); writeln(l[2], ' ', c.Rank);
  total := 0; Bump(total, Sum([1, 2, 3])); writeln(total);
  s := [Hearts, Clubs];
  Include(s, Spades); Exclude(s, Hearts);
  writeln(Hearts in s, ' ', Spades in s, ' ', Clubs in s);
  b1 := s = [Clubs, Spades]; b2 := [Clubs] <= s; b3 := (s * [Clubs, Diamonds]) = [Clubs];
  writeln(b1, ' ', b2, ' ', b3);
  s := s + [Diamonds] - [Clubs];
  total := 0;
  for st := Low(TSuit) to High(TSuit) do if st in s then total := total + Ord(st);
  writeln(total);
  chars := ['a'..'f', 'x'];
  writeln('c' in chars, ' ', 'g' in chars, ' ', 'x' in chars);
  SetLength(names, 2); names[0] := 'one'; names[1] := 'two';
  writeln(names[0] + names[1], ' ', Length(names));
  writeln(Succ(Hearts) = Diamonds, ' ', Ord(High(TSuit)));
end.
