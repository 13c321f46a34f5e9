{ The Qvn unit against qvn-server: every export, through the unit's wrappers
  and directly, texts outside the BMP, failure answers as exceptions, and
  transfers with progress, outcomes and cancel; malformed time-out variables
  refused.

    qvn_tests HOST PORT FILE_PORT CREDENTIALS

  The server's database is named 'Wine test base', its only user alice with
  the password of CREDENTIALS. Exit code 0 when every check holds. }
program qvn_tests;

{$MODE DELPHI}
{$CODEPAGE UTF8}

uses
  {$IFDEF MSWINDOWS}Windows,{$ENDIF} SysUtils, Qvn;

const
  Clef = '𝄞'; { U+1D11E, a surrogate pair in UTF-16 }
  Started = 'File transfer started : ';

var
  Host, Credentials: UnicodeString;
  Port, FilePort: Word;
  Failures: Integer = 0;

procedure Check(Ok: Boolean; const What: UnicodeString);
begin
  if not Ok then
  begin
    Inc(Failures);
    WriteLn('FAIL: ', UTF8Encode(What));
  end;
end;

procedure CheckText(const Got, Expected, What: UnicodeString);
begin
  Check(Got = Expected, What + ': got "' + Got + '", expected "' + Expected + '"');
end;

{ Codecs: no network. }
procedure TestCodecs;
type
  TEncodeCase = record Text, Encoded: UnicodeString; end;
  TCountCase = record Source, Delimiter: UnicodeString; Single: Boolean; Count: LongInt; end;
  TFieldCase = record Source: UnicodeString; Index: LongInt; Delimiter, Field: UnicodeString; end;
const
  Encodes: array[0..3] of TEncodeCase = (
    (Text: 'a;b'; Encoded: 'a&amp;#59;b'),
    (Text: 'x&y,z'; Encoded: 'x&amp;y&#44;z'),
    (Text: '{'#9'}'#13#10; Encoded: '&#123;&tab;&#125;&cr;&lf;'),
    (Text: ' Grüße ' + Clef + ' '; Encoded: ' Grüße ' + Clef + ' '));
  Counts: array[0..4] of TCountCase = (
    (Source: 'a@b@c'; Delimiter: '@'; Single: False; Count: 3),
    (Source: 'abc'; Delimiter: '@'; Single: True; Count: 1),
    (Source: 'abc'; Delimiter: '@'; Single: False; Count: 0),
    (Source: '  '; Delimiter: '@'; Single: True; Count: 0),
    (Source: Clef + '::' + Clef; Delimiter: '::'; Single: False; Count: 2));
  Fields: array[0..3] of TFieldCase = (
    (Source: ' a@b@c '; Index: 1; Delimiter: '@'; Field: 'b'),
    (Source: 'a@b'; Index: 5; Delimiter: '@'; Field: ''),
    (Source: 'a@b'; Index: -1; Delimiter: '@'; Field: ''),
    (Source: Clef + '@x'; Index: 0; Delimiter: '@'; Field: Clef));
var
  I: Integer;
  Packed_, Text: UnicodeString;
begin
  for I := Low(Encodes) to High(Encodes) do
  begin
    CheckText(QvnDataEncode(Encodes[I].Text), Encodes[I].Encoded, 'DataEncode');
    CheckText(QvnDataDecode(Encodes[I].Encoded), Encodes[I].Text, 'DataDecode');
  end;
  CheckText(QvnDataDecode('A&AMP;B&Tab;'), 'A&B'#9, 'DataDecode in upper case');
  for I := Low(Counts) to High(Counts) do
    Check(QvnValueCount(Counts[I].Source, Counts[I].Delimiter, Counts[I].Single) = Counts[I].Count,
      'ValueCount of "' + Counts[I].Source + '"');
  for I := Low(Fields) to High(Fields) do
    CheckText(QvnValueFromString(Fields[I].Source, Fields[I].Index, Fields[I].Delimiter),
      Fields[I].Field, 'ValueFromString ' + UnicodeString(IntToStr(Fields[I].Index)));
  CheckText(QvnPackString(''), 'eNoDAAAAAAE=', 'PackString of nothing');
  Text := 'Grüße'#13#10'zwei Zeilen';
  Packed_ := QvnPackString(Text);
  Check((Packed_ <> Text) and (Pos(#10, Packed_) = 0), 'PackString makes one line');
  CheckText(QvnUnPackString(Packed_), Text, 'UnPackString');
  CheckText(QvnUnPackString('  not packed'#10'x '), 'not packed'#13#10'x', 'UnPackString of plain text');
  { The exports themselves, result released by hand; nil is the empty text. }
  Check(ValueCount(nil, '@', True) = 0, 'ValueCount(nil)');
  CheckText(QvnTake(DataEncode(nil)), '', 'DataEncode(nil)');
  ScriptFree(nil);
end;

{ The server's commands, answered. }
procedure TestCommands;
var
  NewPassword, Answer: UnicodeString;
begin
  Check(QvnTryConnect(Host, Port, 5000), 'TryConnect to the server');
  Check(not QvnTryConnect(Host, 0, 5000), 'TryConnect to port 0');
  CheckText(QvnDbName(Host, Port), 'Wine test base', 'ShowDbName');
  CheckText(QvnTryDbPassword(Host, Port, Credentials), 'OK', 'TryDbPassword');
  CheckText(QvnTryDbPassword(Host, Port, 'dbsecret@alice@wrong'), 'DENIED', 'TryDbPassword, wrong');
  CheckText(QvnUserAuthentication(Host, Port, 'alice', 'alicepw'), 'OK alice', 'UserAuthentication');
  CheckText(QvnMessageFile(Host, Port, 'to the file ' + Clef), 'OK', 'DbMessageFile');
  CheckText(QvnMessagePipe(Host, Port, 'to the pipe ' + Clef), 'OK', 'DbMessagePipe');
  { Nothing listens on port 1: the server answers that it could not deliver. }
  Answer := QvnMessageTcp(Host, Port, '127.0.0.1', 1, 'over TCP');
  Check(Copy(Answer, 1, 5) = 'ERROR', 'DbMessageTcp to no receiver: ' + Answer);
  Check(not QvnUpdateIsAvailable(Host, Port, Credentials, 'Versions', 0, 'no such program', 1),
    'UpdateIsAvailable for a program without a version');
  { A new password outside ASCII, and back. }
  NewPassword := 'new ✓ pw';
  CheckText(QvnChangeUniquePass(Host, Port, 'dbsecret', 'alice', 'alicepw', NewPassword), 'OK',
    'ChangeUniquePass');
  CheckText(QvnTryDbPassword(Host, Port, 'dbsecret@alice@' + NewPassword), 'OK',
    'TryDbPassword with the new password');
  CheckText(QvnChangeUniquePass(Host, Port, 'dbsecret', 'alice', NewPassword, 'alicepw'), 'OK',
    'ChangeUniquePass back');
  { The script's text crosses both ways. }
  Answer := QvnScript(Credentials + #13#10'add Pascal=Grüße ' + Clef + #13#10'list Pascal', Host, Port);
  Check(Pos('Grüße ' + Clef, Answer) > 0, 'Script answer: ' + Answer);
  { The export itself, with no window and no file port. }
  Answer := QvnTake(Script(nil, PQvnChar(Credentials + #13#10'list Pascal'), PQvnChar(Host), Port, 0));
  Check(Pos(Clef, Answer) > 0, 'Script export: ' + Answer);
end;

{ Each failure answer raises its class; data answers do not. }
procedure TestFailures;
const
  Calls = 10;
var
  I: Integer;
  Expected: EQvnErrorClass;
  Raised: TClass;
begin
  for I := 0 to Calls - 1 do
  begin
    Raised := nil;
    Expected := EQvnConnectionFailed;
    try
      case I of
        0: QvnDbName(Host, 1);
        1: QvnTryDbPassword(Host, 1, Credentials);
        2: QvnChangeUniquePass(Host, 1, 'd', 'u', 'p', 'n');
        3: QvnUserAuthentication(Host, 1, 'u', 'p');
        4: QvnMessageFile(Host, 1, 'm');
        5: QvnMessagePipe(Host, 1, 'm');
        6: QvnMessageTcp(Host, 1, '127.0.0.1', 9, 'm');
        7: begin Expected := EQvnNoAnswer; QvnScript(Credentials + #13#10'list T', Host, 1); end;
        8: begin Expected := EQvnRefused; QvnScript('dbsecret@alice@wrong'#13#10'list T', Host, Port); end;
        9: begin Expected := EQvnRefused; QvnUserAuthentication(Host, Port, 'nobody', 'x'); end;
      end;
    except
      on E: EQvnError do
      begin
        Raised := E.ClassType;
        Check(E.Message <> '', 'an exception says what failed');
      end;
    end;
    Check(Raised = Expected, 'call ' + UnicodeString(IntToStr(I)) + ' raises ' + UnicodeString(Expected.ClassName));
  end;
  try
    QvnChangeUniquePass(Host, Port, 'dbsecret', 'alice', 'not her password', 'x');
    Check(False, 'a refused password change raises');
  except
    on E: EQvnRefused do
      CheckText(E.Answer, 'DENIED', 'the exception carries the answer');
  end;
end;

type
  EHostBug = class(Exception);

  { Records what a transfer reports. }
  TRecorder = class
    Progress: array of TQvnProgress;
    Outcomes: array of TQvnOutcome;
    CancelAt: Integer; { cancel at this progress message (from 1); 0: never }
    Fail: Boolean;     { raise from the progress handler }
    constructor Create(ACancelAt: Integer = 0);
    procedure OnProgress(Sender: TObject; const P: TQvnProgress; var Cancel: Boolean);
    procedure OnOutcome(Sender: TObject; const O: TQvnOutcome);
    function Last(Upload: Boolean): TQvnProgress;
  end;

constructor TRecorder.Create(ACancelAt: Integer);
begin
  CancelAt := ACancelAt;
end;

procedure TRecorder.OnProgress(Sender: TObject; const P: TQvnProgress; var Cancel: Boolean);
begin
  SetLength(Progress, Length(Progress) + 1);
  Progress[High(Progress)] := P;
  if Fail then
    raise EHostBug.Create('a bug in the host''s progress bar');
  Cancel := Length(Progress) = CancelAt;
end;

procedure TRecorder.OnOutcome(Sender: TObject; const O: TQvnOutcome);
begin
  SetLength(Outcomes, Length(Outcomes) + 1);
  Outcomes[High(Outcomes)] := O;
end;

function TRecorder.Last(Upload: Boolean): TQvnProgress;
var
  I: Integer;
begin
  Result := Default(TQvnProgress);
  for I := 0 to High(Progress) do
    if Progress[I].Upload = Upload then
      Result := Progress[I];
end;

procedure WriteBytes(const Path: string; Size: Integer; Seed: Cardinal);
var
  F: File;
  Bytes: TBytes;
  I: Integer;
begin
  SetLength(Bytes, Size);
  for I := 0 to Size - 1 do
  begin
    Seed := Seed * 1103515245 + 12345;
    Bytes[I] := Byte(Seed shr 16);
  end;
  AssignFile(F, Path);
  Rewrite(F, 1);
  if Size > 0 then
    BlockWrite(F, Bytes[0], Size);
  CloseFile(F);
end;

function ReadBytes(const Path: string): TBytes;
var
  F: File;
begin
  Result := nil;
  AssignFile(F, Path);
  Reset(F, 1);
  SetLength(Result, FileSize(F));
  if Length(Result) > 0 then
    BlockRead(F, Result[0], Length(Result));
  CloseFile(F);
end;

function SameBytes(const A, B: TBytes): Boolean;
begin
  Result := (Length(A) = Length(B)) and ((Length(A) = 0) or CompareMem(@A[0], @B[0], Length(A)));
end;

{ A script of one section; '{' first, as a path that begins with '/' would
  otherwise be a comment line. }
function Section(const Direction: UnicodeString; const Entries: array of UnicodeString): UnicodeString;
var
  I: Integer;
begin
  Result := Credentials + #13#10'FILES [' + Direction + ']'#13#10'{';
  for I := 0 to High(Entries) do
  begin
    if I > 0 then
      Result := Result + #13#10;
    Result := Result + Entries[I];
  end;
  Result := Result + '}';
end;

function RunWith(Recorder: TRecorder; const AScript: UnicodeString; out Transfer: TQvnTransfer): UnicodeString;
begin
  Transfer := TQvnTransfer.Create;
  Transfer.OnProgress := Recorder.OnProgress;
  Transfer.OnOutcome := Recorder.OnOutcome;
  Result := Transfer.Run(AScript, Host, Port, FilePort);
end;

procedure TestTransfers;
var
  Up, Back, Big, Keep: string;
  Recorder: TRecorder;
  Transfer: TQvnTransfer;
  Answer: UnicodeString;
  P: TQvnProgress;
  Raised: Boolean;
begin
  Up := ExpandFileName('pascal-up.bin');
  Back := ExpandFileName('pascal-back.bin');
  Big := ExpandFileName('pascal-big.bin');
  Keep := ExpandFileName('pascal-keep.bin');
  WriteBytes(Up, 1500000, 7);
  DeleteFile(Back);

  { An upload, then the same file back. }
  Recorder := TRecorder.Create;
  Answer := RunWith(Recorder, Section('UPLOAD', [UnicodeString(Up) + ',..\pascal\' + Clef + '.bin']), Transfer);
  Check(Copy(Answer, 1, Length(Started)) = Started, 'upload answer: ' + Answer);
  P := Recorder.Last(True);
  CheckText(P.ClientFile, UnicodeString(Up), 'upload progress names the local file');
  CheckText(P.ServerFile, '..\pascal\' + Clef + '.bin', 'upload progress names the server file');
  Check((P.Size = 1500000) and (P.Count = P.Size), 'the last upload progress is the whole file');
  Check((Length(Recorder.Outcomes) = 1) and (Recorder.Outcomes[0].Status = QVN_TRANSFER_COMPLETED)
    and Recorder.Outcomes[0].Upload and (Recorder.Outcomes[0].Reason = ''), 'the upload completed');
  Check((Transfer.EntriesBegun = 1) and (Transfer.EntriesNotCompleted = 0), 'done: one upload, whole');
  Transfer.Free;
  Recorder.Free;

  Recorder := TRecorder.Create;
  RunWith(Recorder, Section('DOWNLOAD', [UnicodeString(Back) + ',..\pascal\' + Clef + '.bin']), Transfer);
  Check(FileExists(Back) and SameBytes(ReadBytes(Back), ReadBytes(Up)), 'the download is the upload');
  P := Recorder.Last(False);
  Check((P.Size = 1500000) and (P.Count >= P.Size) and (P.ClientFile = UnicodeString(Back)),
    'the last download progress is the whole file');
  Check((Length(Recorder.Outcomes) = 1) and (Recorder.Outcomes[0].Status = QVN_TRANSFER_COMPLETED)
    and not Recorder.Outcomes[0].Upload, 'the download completed');
  Transfer.Free;
  Recorder.Free;

  { Cancel at the first progress message: the second entry never starts. (A
    line that begins with '/' is a comment: only a first entry's path may.) }
  WriteBytes(Big, 2000000, 9);
  Recorder := TRecorder.Create(1);
  RunWith(Recorder, Section('UPLOAD', [UnicodeString(Big) + ',..\pascal\cancelled.bin',
    'pascal-up.bin,..\pascal\after.bin']), Transfer);
  Check((Length(Recorder.Outcomes) = 2) and (Recorder.Outcomes[0].Status = QVN_TRANSFER_CANCELLED)
    and (Recorder.Outcomes[1].Status = QVN_TRANSFER_NOT_STARTED), 'a cancelled upload');
  Check(Transfer.EntriesNotCompleted = 2, 'done: two entries not completed');
  Check(Length(Recorder.Progress) = 1, 'no progress after the cancel');
  Transfer.Free;
  Recorder.Free;

  { A cancelled download leaves its target as it was. }
  WriteBytes(Keep, 10, 3);
  Recorder := TRecorder.Create(1);
  RunWith(Recorder, Section('DOWNLOAD', [UnicodeString(Keep) + ',..\pascal\' + Clef + '.bin']), Transfer);
  Check((Length(Recorder.Outcomes) = 1) and (Recorder.Outcomes[0].Status = QVN_TRANSFER_CANCELLED),
    'a cancelled download');
  Check(Length(ReadBytes(Keep)) = 10, 'the cancelled download''s target is untouched');
  Transfer.Free;
  Recorder.Free;

  { A handler's exception cancels and comes out of Run once the transfers are over. }
  Recorder := TRecorder.Create;
  Recorder.Fail := True;
  Raised := False;
  try
    RunWith(Recorder, Section('UPLOAD', [UnicodeString(Big) + ',..\pascal\broken.bin']), Transfer);
  except
    on EHostBug do
      Raised := True;
  end;
  Check(Raised, 'the handler''s exception comes out of Run');
  Check((Length(Recorder.Progress) = 1) and (Transfer.EntriesNotCompleted = 1), 'it cancelled');
  Transfer.Free;
  Recorder.Free;

  { No transfer thread starts: Script's own done message ends the wait. }
  Recorder := TRecorder.Create;
  Answer := RunWith(Recorder, Credentials + #13#10'list Pascal', Transfer);
  Check((Pos(Clef, Answer) > 0) and (Transfer.EntriesBegun = 0) and (Length(Recorder.Outcomes) = 0),
    'a script without files: ' + Answer);
  Transfer.Free;
  Recorder.Free;
  DeleteFile(Up);
  DeleteFile(Back);
  DeleteFile(Big);
  DeleteFile(Keep);
end;

{$IFDEF MSWINDOWS}
procedure SetVariable(const Name, Value: UnicodeString; Present: Boolean);
begin
  if Present then
    SetEnvironmentVariableW(PWideChar(Name), PWideChar(Value))
  else
    SetEnvironmentVariableW(PWideChar(Name), nil);
end;
{$ELSE}
function setenv(Name, Value: PAnsiChar; Overwrite: Integer): Integer; cdecl; external 'c';
function unsetenv(Name: PAnsiChar): Integer; cdecl; external 'c';

procedure SetVariable(const Name, Value: UnicodeString; Present: Boolean);
begin
  if Present then
    setenv(PAnsiChar(AnsiString(Name)), PAnsiChar(UTF8Encode(Value)), 1)
  else
    unsetenv(PAnsiChar(AnsiString(Name)));
end;
{$ENDIF}

{ The shared table of time-out values (tests/support/timeout_values.tsv, copied
  beside the program), then a malformed variable refused before the first
  call that connects: this runs before any other. }
procedure TestTimeoutValues;
const
  Names: array[0..2] of UnicodeString =
    ('QVN_CONNECT_TIMEOUT_MS', 'QVN_IO_TIMEOUT_MS', 'QVN_OPERATION_TIMEOUT_MS');
var
  F: TextFile;
  Line: RawByteString;
  Value, Expected: UnicodeString;
  Tab, Rows, I: Integer;
  Raised: Boolean;
begin
  AssignFile(F, 'timeout_values.tsv');
  Reset(F);
  Rows := 0;
  while not Eof(F) do
  begin
    ReadLn(F, Line);
    if (Line = '') or (Line[1] = '#') or (Copy(Line, 1, 6) = 'value' + #9) then
      Continue;
    Tab := Pos(#9, Line);
    Value := UTF8Decode(Copy(Line, 1, Tab - 1));
    Expected := UnicodeString(Copy(Line, Tab + 1, Length(Line)));
    if Expected = 'malformed' then
      Check(QvnTimeoutMs(Value) = -1, 'time-out value "' + Value + '" is malformed')
    else
      Check(QvnTimeoutMs(Value) = StrToInt(string(Expected)), 'time-out value "' + Value + '"');
    Inc(Rows);
  end;
  CloseFile(F);
  Check(Rows > 10, 'the time-out table has its rows');

  for I := Low(Names) to High(Names) do
  begin
    SetVariable(Names[I], '-5', True);
    Raised := False;
    try
      QvnDbName(Host, Port);
    except
      on E: EQvnConfiguration do
        Raised := (Pos(string(Names[I]), E.Message) > 0) and (Pos('"-5"', E.Message) > 0);
    end;
    Check(Raised, Names[I] + '=-5 is refused, naming both');
    CheckText(QvnValueFromString('a@b', 1, '@'), 'b', 'a codec with a malformed time-out');
    SetVariable(Names[I], '', False);
  end;
  CheckText(QvnDbName(Host, Port), 'Wine test base', 'DbName once the variables are right');
end;

procedure TestProgressText;
var
  P: TQvnProgress;
begin
  P := QvnParseProgress('/tmp/a*b*..\x*y.bin*100*40*40.00%**-12*Download');
  Check((P.ClientFile = '/tmp/a*b') and (P.ServerFile = '..\x*y.bin') and (P.Size = 100) and
    (P.Count = 40) and (P.Index = -12) and not P.Upload, 'a progress text with "*" in its names');
end;

begin
  if ParamCount <> 4 then
  begin
    WriteLn('usage: qvn_tests HOST PORT FILE_PORT CREDENTIALS');
    Halt(2);
  end;
  Host := UnicodeString(ParamStr(1));
  Port := StrToInt(ParamStr(2));
  FilePort := StrToInt(ParamStr(3));
  Credentials := UnicodeString(ParamStr(4));
  TestTimeoutValues;
  TestCodecs;
  TestProgressText;
  TestCommands;
  TestFailures;
  TestTransfers;
  if Failures > 0 then
  begin
    WriteLn(Failures, ' check(s) failed');
    Halt(1);
  end;
  WriteLn('all checks passed');
end.
