procedure Count(limit: Integer);
var i, sum: Integer; s: string;
  procedure Note; begin s := s + '.'; end;
begin
  sum := 0;
  for i := 1 to limit do
  begin
    sum := sum + i;
    Note;
  end;
  Writeln(sum, s);
end;
begin
  Count(3);
end.
