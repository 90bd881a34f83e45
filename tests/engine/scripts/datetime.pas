// Dates are days since 1899-12-30 with the time as the fraction.
var d: TDateTime; y, m, dd, h, n, s, ms: Word; yi, mi, di: Integer;
begin
  d := EncodeDate(2024, 2, 29);
  Writeln(Trunc(d));                                             //> 45351
  Writeln(FormatDateTime('yyyy-mm-dd', d + 1));                  //> 2024-03-01
  d := d + EncodeTime(13, 5, 9, 250);
  Writeln(FormatDateTime('dd.mm.yy hh:nn:ss.zzz', d));           //> 29.02.24 13:05:09.250
  Writeln(FormatDateTime('dddd d mmmm yyyy, h:nn am/pm', d));    //> Thursday 29 February 2024, 1:05 pm
  Writeln(DayOfWeek(d), ' ', IsLeapYear(2100), ' ', DaysInAMonth(2023, 2)); //> 5 FALSE 28
  DecodeDate(EncodeDate(1999, 12, 31), yi, mi, di);
  Writeln(yi, '-', mi, '-', di);                                 //> 1999-12-31
  Writeln(DateToStr(EncodeDate(2001, 9, 3)));                    //> 2001-09-03
  Writeln(Now > EncodeDate(2020, 1, 1));                         //> TRUE
  try
    EncodeDate(2023, 2, 29);
  except
    on E: EConvertError do Writeln(E.Message);                   //> Invalid argument to date encode
  end;
end.
