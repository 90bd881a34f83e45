{$mode delphiunicode}{$Q-}{$R-} // fpc-only
program exceptions;
uses SysUtils; // fpc-only
type
  EMine = class(Exception);
  EDeeper = class(EMine);
var log: string; i: Integer;
procedure Risky(n: Integer);
begin
  log := log + 'r' + IntToStr(n);
  if n = 1 then raise EMine.Create('mine');
  if n = 2 then raise EDeeper.CreateFmt('deeper %d', [n]);
  if n = 3 then i := 10 div (n - 3);
  if n = 4 then raise Exception.Create('plain');
end;
function Guarded(n: Integer): string;
begin
  Result := 'ok';
  try
    try
      Risky(n);
    finally
      log := log + 'f';
    end;
  except
    on E: EDeeper do Result := 'deeper:' + E.Message;
    on E: EMine do Result := 'mine:' + E.Message + ':' + E.ClassName;
    on E: EDivByZero do Result := 'div:' + E.ClassName;
  end;
end;
function ExitInFinally: Integer;
begin
  Result := 1;
  try
    Result := 2;
    Exit;
  finally
    log := log + 'x';
  end;
  Result := 3;
end;
begin
  log := '';
  for i := 0 to 3 do writeln(Guarded(i));
  writeln(log);
  try
    Guarded(4);
  except
    on E: Exception do writeln('outer ', E.Message, ' ', E is EMine);
  end;
  try
    try
      raise EMine.Create('again');
    except
      on E: EMine do begin writeln('first ', E.Message); raise; end;
    end;
  except
    writeln('reraised');
  end;
  log := '';
  writeln(ExitInFinally, ' ', log);
  for i := 1 to 3 do
    try
      if i = 2 then Continue;
      log := log + IntToStr(i);
    finally
      log := log + '.';
    end;
  writeln(log);
  try
    StrToInt('abc');
  except
    on E: EConvertError do writeln('convert ', E.ClassName);
  end;
end.
