{ hello.lpr: the smallest complete qvn program in Pascal. It asks a Quarven
  server for its database's name, runs a two-statement script and prints the
  answers.

    hello HOST PORT CREDENTIALS       e.g.  hello 127.0.0.1 7711 'dbpw@alice@secret'

  Free Pascal: fpc -Fu<qvn>/bindings/pascal hello.lpr (Linux: -Fl<dir of libqvn.so>).
  Delphi: add bindings/pascal to the search path; qvn.dll goes beside the .exe.
  The file is UTF-8 with a byte-order mark, so that both compilers read the
  greeting right. }
program hello;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$IFDEF MSWINDOWS}
  {$APPTYPE CONSOLE}
{$ENDIF}

uses
  SysUtils, Qvn;

var
  Host, Credentials: UnicodeString;
  Port: Word;
begin
  if ParamCount <> 3 then
  begin
    WriteLn('usage: hello HOST PORT CREDENTIALS');
    Halt(2);
  end;
  Host := UnicodeString(ParamStr(1));
  Port := StrToInt(ParamStr(2));
  Credentials := UnicodeString(ParamStr(3));
  try
    { Texts are UnicodeString both ways; each result is already released. }
    WriteLn('database: ', QvnDbName(Host, Port));
    { No window for progress and no file port: this script moves no files. }
    WriteLn('script: ', QvnScript(Credentials + #13#10'add Greetings=Grüße aus qvn ✓'#13#10 +
      'list Greetings', Host, Port));
  except
    { A failure answer ("CONNECTION_ERROR", "NONE", ...) arrives as an exception. }
    on E: EQvnError do
    begin
      WriteLn(E.ClassName, ': ', E.Message);
      Halt(1);
    end;
  end;
end.
