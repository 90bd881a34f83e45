// A script without a main begin/end: its statements are the main body.
function Twice(n: Integer): Integer;
begin
  Result := n * 2;
end;

Writeln(Twice(21));     //> 42
Writeln('done')         //> done
