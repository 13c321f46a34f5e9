{ Qvn: the qvn client library (qvn.dll on Windows, libqvn.so elsewhere) for
  Free Pascal and Delphi.

  The first part declares the 17 exports of qvn.h as they are: texts are
  PQvnChar (UTF-16, NUL-terminated), every text result belongs to the caller
  and goes back to ScriptFree, never to FreeMem or the string manager.
  The second part wraps them: UnicodeString in and out, results released,
  failure answers raised as EQvnError classes; TQvnTransfer runs a script's
  file sections and reports progress and outcomes to event handlers.

  See docs/pascal.md. }
unit Qvn;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

interface

uses
  {$IFDEF MSWINDOWS}Windows,{$ENDIF} SysUtils;

const
  {$IFDEF MSWINDOWS}
  QvnLibrary = 'qvn.dll';
  {$ELSE}
  QvnLibrary = 'qvn';
  {$ENDIF}

type
  { qvn_char: wchar_t on Windows, char16_t elsewhere; both are 2 bytes. }
  PQvnChar = PWideChar;

  {$IFNDEF MSWINDOWS}
  { Stands in for a window handle: Script calls Proc(Context, message, wparam,
    lparam) on the transfer thread. Script copies both fields before it
    returns; Context must stay valid until Proc gets QVN_WM_TRANSFERS_DONE. }
  TQvnWindowProc = function(Context: Pointer; Msg: Cardinal; WParam: NativeUInt;
    LParam: NativeInt): NativeInt; cdecl;
  PQvnWindow = ^TQvnWindow;
  TQvnWindow = record
    Proc: TQvnWindowProc;
    Context: Pointer;
  end;
  {$ENDIF}

  { lparam of the outcome message; valid only while the message is handled. }
  PQvnTransferOutcome = ^TQvnTransferOutcome;
  TQvnTransferOutcome = record
    ClientFile: PQvnChar; { the entry's local path }
    ServerFile: PQvnChar; { the server's name, with its '..\' or '.@\' prefix }
    Upload: LongInt;      { 1 for an upload, 0 for a download }
    Status: LongInt;      { QVN_TRANSFER_... }
    Reason: PQvnChar;     { '' when completed, else a short English cause }
  end;

const
  { Progress: wparam the transfer index, lparam the text
    'client*server*size*count*percent%*tag*index*Upload|Download'. }
  QVN_WM_TRANSFER_PROGRESS = 5266;
  {$IFDEF MSWINDOWS}
  { Registered window messages: their numbers come from RegisterWindowMessageW. }
  QVN_WM_TRANSFER_OUTCOME_NAME: PWideChar = 'QVN_WM_TRANSFER_OUTCOME';
  QVN_WM_TRANSFERS_DONE_NAME: PWideChar = 'QVN_WM_TRANSFERS_DONE';
  {$ELSE}
  QVN_WM_TRANSFERS_DONE = 5267;
  QVN_WM_TRANSFER_OUTCOME = 5268;
  {$ENDIF}

  QVN_TRANSFER_COMPLETED = 0;
  QVN_TRANSFER_FAILED = 1;
  QVN_TRANSFER_SKIPPED = 2;
  QVN_TRANSFER_TIMED_OUT = 3;
  QVN_TRANSFER_CANCELLED = 4;
  QVN_TRANSFER_NOT_STARTED = 5;

  { Returned for a progress message: ends that entry and starts no further one. }
  QVN_CANCEL_TRANSFERS = NativeInt($51564E43);

{ The exports. MessageHandle: a window handle cast to Pointer on Windows, a
  PQvnWindow elsewhere, nil for none. }
function Script(MessageHandle: Pointer; AScript, Host: PQvnChar; Port, FilePort: Word): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
procedure ScriptFree(P: PQvnChar);
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function TryConnect(Host: PQvnChar; Port: Word; TimeoutMs: LongInt): Boolean;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function TryDbPassword(Host: PQvnChar; Port: Word; Credentials: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function ShowDbName(Host: PQvnChar; Port: Word): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function ChangeUniquePass(Host: PQvnChar; Port: Word; DbPassword, User, UserPassword,
  NewPassword: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function DbMessageFile(Host: PQvnChar; Port: Word; Message: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function DbMessagePipe(Host: PQvnChar; Port: Word; Message: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function DbMessageTcp(Host: PQvnChar; Port: Word; ReceiverHost: PQvnChar; ReceiverPort: Word;
  Message: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function UserAuthentication(Host: PQvnChar; Port: Word; User, Password: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function UpdateIsAvailable(Host: PQvnChar; Port: Word; Credentials, Table: PQvnChar;
  SearchField: LongInt; SearchText: PQvnChar; VersionField: LongInt): Boolean;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function PackString(Text: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function UnPackString(Text: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function DataEncode(Text: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function DataDecode(Text: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function ValueCount(Source, Delimiter: PQvnChar; CountSingle: Boolean): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;
function ValueFromString(Source: PQvnChar; Index: LongInt; Delimiter: PQvnChar): PQvnChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external QvnLibrary;

type
  { A call answered with a word that means it failed. }
  EQvnError = class(Exception)
  private
    FCall, FAnswer: UnicodeString;
  public
    constructor CreateAnswer(const ACall, AAnswer, Meaning: UnicodeString);
    property Call: UnicodeString read FCall;     { the export, e.g. 'ShowDbName' }
    property Answer: UnicodeString read FAnswer; { its answer, trimmed }
  end;
  EQvnErrorClass = class of EQvnError;

  { A time-out variable (QVN_CONNECT_TIMEOUT_MS, QVN_IO_TIMEOUT_MS,
    QVN_OPERATION_TIMEOUT_MS) holds a value that is not a whole number of
    milliseconds from 0 to 999999999: the library would run without that bound,
    so the wrappers that connect refuse to. }
  EQvnConfiguration = class(Exception);

  TQvnAnswerRule = record
    Call, Answer: UnicodeString;
    Error: EQvnErrorClass;
    Meaning: UnicodeString;
  end;

{$I qvn_answers.inc}

{ The exports with UnicodeString texts. A function whose answer is a failure
  word (see QvnAnswers) raises the class that answer names; every other answer
  is returned as the server gave it. }
function QvnScript(const AScript, Host: UnicodeString; Port: Word; FilePort: Word = 0;
  MessageHandle: Pointer = nil): UnicodeString;
function QvnTryConnect(const Host: UnicodeString; Port: Word; TimeoutMs: LongInt): Boolean;
function QvnTryDbPassword(const Host: UnicodeString; Port: Word;
  const Credentials: UnicodeString): UnicodeString;
function QvnDbName(const Host: UnicodeString; Port: Word): UnicodeString;
function QvnChangeUniquePass(const Host: UnicodeString; Port: Word; const DbPassword, User,
  UserPassword, NewPassword: UnicodeString): UnicodeString;
function QvnMessageFile(const Host: UnicodeString; Port: Word; const Message: UnicodeString): UnicodeString;
function QvnMessagePipe(const Host: UnicodeString; Port: Word; const Message: UnicodeString): UnicodeString;
function QvnMessageTcp(const Host: UnicodeString; Port: Word; const ReceiverHost: UnicodeString;
  ReceiverPort: Word; const Message: UnicodeString): UnicodeString;
function QvnUserAuthentication(const Host: UnicodeString; Port: Word;
  const User, Password: UnicodeString): UnicodeString;
function QvnUpdateIsAvailable(const Host: UnicodeString; Port: Word; const Credentials,
  Table: UnicodeString; SearchField: LongInt; const SearchText: UnicodeString;
  VersionField: LongInt): Boolean;
function QvnPackString(const Text: UnicodeString): UnicodeString;
function QvnUnPackString(const Text: UnicodeString): UnicodeString;
function QvnDataEncode(const Text: UnicodeString): UnicodeString;
function QvnDataDecode(const Text: UnicodeString): UnicodeString;
function QvnValueCount(const Source, Delimiter: UnicodeString; CountSingle: Boolean): LongInt;
function QvnValueFromString(const Source: UnicodeString; Index: LongInt;
  const Delimiter: UnicodeString): UnicodeString;

{ A text result as a UnicodeString, released with ScriptFree. }
function QvnTake(P: PQvnChar): UnicodeString;
{ Raises the EQvnError class that Answer means for Call, if any. }
procedure QvnCheck(const Call, Answer: UnicodeString);

{ The bound a time-out variable's value sets, by the library's rule: 0 (no
  limit) for the empty value or zeros, else the number of a plain decimal of
  at most nine ASCII digits; -1 for anything else (malformed). }
function QvnTimeoutMs(const Value: UnicodeString): LongInt;
{ Raises EQvnConfiguration, naming the variable and its value, when a time-out
  variable of the process environment (the one the library reads) is
  malformed. Every wrapper that connects calls it first, until a check passes:
  the library reads the variables once, at its first connection. }
procedure QvnCheckTimeouts;

type
  { One progress message, read from its text. }
  TQvnProgress = record
    ClientFile, ServerFile: UnicodeString;
    Size, Count: Int64;
    Upload: Boolean;
    Index: LongInt;
    Text: UnicodeString; { the message's whole text }
  end;

  { How one file entry ended. }
  TQvnOutcome = record
    ClientFile, ServerFile, Reason: UnicodeString;
    Upload: Boolean;
    Status: LongInt; { QVN_TRANSFER_... }
    Index: NativeUInt;
  end;

  TQvnProgressEvent = procedure(Sender: TObject; const Progress: TQvnProgress;
    var Cancel: Boolean) of object;
  TQvnOutcomeEvent = procedure(Sender: TObject; const Outcome: TQvnOutcome) of object;

  {$IFNDEF MSWINDOWS}
  { What the transfer thread hands to the thread that waits in Run. }
  TQvnMailbox = record
    Mutex, Cond: array[0..7] of Int64; { pthread_mutex_t, pthread_cond_t }
    Pending, Replied: Boolean;
    Msg: Cardinal;
    WParam: NativeUInt;
    LParam: NativeInt;
    Reply: NativeInt;
  end;
  {$ENDIF}

  { Runs scripts with file sections and waits for their transfers. The event
    handlers run on the thread that called Run, one at a time (Windows: from
    its message loop, so the program's other windows stay responsive). An
    exception from a handler cancels the transfers; Run raises it once they
    are over. One Run at a time per object. }
  TQvnTransfer = class
  private
    FOnProgress: TQvnProgressEvent;
    FOnOutcome: TQvnOutcomeEvent;
    FCancelled, FDone: Boolean;
    FEntriesBegun, FEntriesNotCompleted: NativeUInt;
    FFault: TObject;
    {$IFDEF MSWINDOWS}
    FWindow: HWND;
    {$ELSE}
    FMailbox: TQvnMailbox;
    FWindow: TQvnWindow;
    {$ENDIF}
    function Handle(Msg: Cardinal; WParam: NativeUInt; LParam: NativeInt;
      var Answer: NativeInt): Boolean;
  public
    constructor Create;
    destructor Destroy; override;
    { Runs AScript with FilePort for its file sections, waits until every
      entry is over and returns Script's answer. Failure answers raise as in
      QvnScript, but only once the transfers are over. }
    function Run(const AScript, Host: UnicodeString; Port, FilePort: Word): UnicodeString;
    { Ends the current entry at its next progress message and starts no more;
      from a handler or from another thread. }
    procedure Cancel;
    property OnProgress: TQvnProgressEvent read FOnProgress write FOnProgress;
    property OnOutcome: TQvnOutcomeEvent read FOnOutcome write FOnOutcome;
    { From the last Run's done message. }
    property EntriesBegun: NativeUInt read FEntriesBegun;
    property EntriesNotCompleted: NativeUInt read FEntriesNotCompleted;
  end;

{ Reads a progress message's text. File names may hold '*': the six fixed
  fields are taken from the right, the rest is split before the server name's
  prefix ('..\' or '.@\'), else at its first '*'. }
function QvnParseProgress(const Text: UnicodeString): TQvnProgress;

implementation

constructor EQvnError.CreateAnswer(const ACall, AAnswer, Meaning: UnicodeString);
begin
  inherited Create(string(ACall + ': ' + Meaning));
  FCall := ACall;
  FAnswer := AAnswer;
end;

function QvnTake(P: PQvnChar): UnicodeString;
begin
  try
    Result := P;
  finally
    ScriptFree(P);
  end;
end;

procedure QvnCheck(const Call, Answer: UnicodeString);
var
  I, Found: Integer;
  Trimmed: UnicodeString;
begin
  Trimmed := Trim(Answer);
  Found := -1;
  { A row for the call itself comes before a row for every call. }
  for I := Low(QvnAnswers) to High(QvnAnswers) do
    if (QvnAnswers[I].Answer = Trimmed) and ((QvnAnswers[I].Call = Call) or
      ((Found < 0) and (QvnAnswers[I].Call = '*') and (Call <> 'Script'))) then
      Found := I;
  if (Found >= 0) and (QvnAnswers[Found].Error <> nil) then
    raise QvnAnswers[Found].Error.CreateAnswer(Call, Trimmed, QvnAnswers[Found].Meaning);
end;

function Checked(const Call: UnicodeString; P: PQvnChar): UnicodeString;
begin
  Result := QvnTake(P);
  QvnCheck(Call, Result);
end;

function QvnTimeoutMs(const Value: UnicodeString): LongInt;
var
  I: Integer;
begin
  Result := -1;
  if Length(Value) > 9 then
    Exit;
  for I := 1 to Length(Value) do
    if (Value[I] < '0') or (Value[I] > '9') then
      Exit;
  Result := 0;
  for I := 1 to Length(Value) do
    Result := Result * 10 + (Ord(Value[I]) - Ord('0'));
end;

{$IFDEF MSWINDOWS}
function EnvironmentValue(const Name: UnicodeString): UnicodeString;
var
  Size: DWORD;
begin
  Size := GetEnvironmentVariableW(PWideChar(Name), nil, 0);
  if Size = 0 then
    Exit('');
  SetLength(Result, Size);
  SetLength(Result, GetEnvironmentVariableW(PWideChar(Name), PWideChar(Result), Size));
end;
{$ELSE}
{ libc's, as the library reads it (the runtime's copy misses a later setenv). }
function getenv(Name: PAnsiChar): PAnsiChar; cdecl; external 'c';

function EnvironmentValue(const Name: UnicodeString): UnicodeString;
var
  P: PAnsiChar;
begin
  P := getenv(PAnsiChar(AnsiString(Name)));
  if P = nil then
    Exit('');
  Result := UTF8Decode(RawByteString(P));
end;
{$ENDIF}

var
  TimeoutsChecked: Boolean = False;

procedure QvnCheckTimeouts;
const
  Names: array[0..2] of UnicodeString =
    ('QVN_CONNECT_TIMEOUT_MS', 'QVN_IO_TIMEOUT_MS', 'QVN_OPERATION_TIMEOUT_MS');
var
  I: Integer;
  Value: UnicodeString;
begin
  if TimeoutsChecked then
    Exit;
  for I := Low(Names) to High(Names) do
  begin
    Value := EnvironmentValue(Names[I]);
    if QvnTimeoutMs(Value) < 0 then
      raise EQvnConfiguration.Create(string(Names[I] + ' is "' + Value +
        '": not a whole number of milliseconds from 0 to 999999999 (0: no limit)'));
  end;
  TimeoutsChecked := True;
end;

function QvnScript(const AScript, Host: UnicodeString; Port: Word; FilePort: Word;
  MessageHandle: Pointer): UnicodeString;
begin
  QvnCheckTimeouts;
  Result := Checked('Script', Script(MessageHandle, PQvnChar(AScript), PQvnChar(Host), Port, FilePort));
end;

function QvnTryConnect(const Host: UnicodeString; Port: Word; TimeoutMs: LongInt): Boolean;
begin
  QvnCheckTimeouts;
  Result := TryConnect(PQvnChar(Host), Port, TimeoutMs);
end;

function QvnTryDbPassword(const Host: UnicodeString; Port: Word;
  const Credentials: UnicodeString): UnicodeString;
begin
  QvnCheckTimeouts;
  Result := Checked('TryDbPassword', TryDbPassword(PQvnChar(Host), Port, PQvnChar(Credentials)));
end;

function QvnDbName(const Host: UnicodeString; Port: Word): UnicodeString;
begin
  QvnCheckTimeouts;
  Result := Checked('ShowDbName', ShowDbName(PQvnChar(Host), Port));
end;

function QvnChangeUniquePass(const Host: UnicodeString; Port: Word; const DbPassword, User,
  UserPassword, NewPassword: UnicodeString): UnicodeString;
begin
  QvnCheckTimeouts;
  Result := Checked('ChangeUniquePass', ChangeUniquePass(PQvnChar(Host), Port,
    PQvnChar(DbPassword), PQvnChar(User), PQvnChar(UserPassword), PQvnChar(NewPassword)));
end;

function QvnMessageFile(const Host: UnicodeString; Port: Word; const Message: UnicodeString): UnicodeString;
begin
  QvnCheckTimeouts;
  Result := Checked('DbMessageFile', DbMessageFile(PQvnChar(Host), Port, PQvnChar(Message)));
end;

function QvnMessagePipe(const Host: UnicodeString; Port: Word; const Message: UnicodeString): UnicodeString;
begin
  QvnCheckTimeouts;
  Result := Checked('DbMessagePipe', DbMessagePipe(PQvnChar(Host), Port, PQvnChar(Message)));
end;

function QvnMessageTcp(const Host: UnicodeString; Port: Word; const ReceiverHost: UnicodeString;
  ReceiverPort: Word; const Message: UnicodeString): UnicodeString;
begin
  QvnCheckTimeouts;
  Result := Checked('DbMessageTcp', DbMessageTcp(PQvnChar(Host), Port, PQvnChar(ReceiverHost),
    ReceiverPort, PQvnChar(Message)));
end;

function QvnUserAuthentication(const Host: UnicodeString; Port: Word;
  const User, Password: UnicodeString): UnicodeString;
begin
  QvnCheckTimeouts;
  Result := Checked('UserAuthentication', UserAuthentication(PQvnChar(Host), Port,
    PQvnChar(User), PQvnChar(Password)));
end;

function QvnUpdateIsAvailable(const Host: UnicodeString; Port: Word; const Credentials,
  Table: UnicodeString; SearchField: LongInt; const SearchText: UnicodeString;
  VersionField: LongInt): Boolean;
begin
  QvnCheckTimeouts;
  Result := UpdateIsAvailable(PQvnChar(Host), Port, PQvnChar(Credentials), PQvnChar(Table),
    SearchField, PQvnChar(SearchText), VersionField);
end;

function QvnPackString(const Text: UnicodeString): UnicodeString;
begin
  Result := QvnTake(PackString(PQvnChar(Text)));
end;

function QvnUnPackString(const Text: UnicodeString): UnicodeString;
begin
  Result := QvnTake(UnPackString(PQvnChar(Text)));
end;

function QvnDataEncode(const Text: UnicodeString): UnicodeString;
begin
  Result := QvnTake(DataEncode(PQvnChar(Text)));
end;

function QvnDataDecode(const Text: UnicodeString): UnicodeString;
begin
  Result := QvnTake(DataDecode(PQvnChar(Text)));
end;

function QvnValueCount(const Source, Delimiter: UnicodeString; CountSingle: Boolean): LongInt;
begin
  Result := ValueCount(PQvnChar(Source), PQvnChar(Delimiter), CountSingle);
end;

function QvnValueFromString(const Source: UnicodeString; Index: LongInt;
  const Delimiter: UnicodeString): UnicodeString;
begin
  Result := QvnTake(ValueFromString(PQvnChar(Source), Index, PQvnChar(Delimiter)));
end;

function QvnParseProgress(const Text: UnicodeString): TQvnProgress;
var
  Fields: array[0..5] of UnicodeString; { size count percent tag index direction }
  Rest: UnicodeString;
  I, Cut: Integer;
begin
  Result.Text := Text;
  Rest := Text;
  for I := High(Fields) downto Low(Fields) do
  begin
    Cut := Length(Rest);
    while (Cut > 0) and (Rest[Cut] <> '*') do
      Dec(Cut);
    Fields[I] := Copy(Rest, Cut + 1, MaxInt);
    if Cut > 0 then
      Rest := Copy(Rest, 1, Cut - 1)
    else
      Rest := '';
  end;
  Cut := Pos('*..\', Rest);
  I := Pos('*.@\', Rest);
  if (I > 0) and ((Cut = 0) or (I < Cut)) then
    Cut := I;
  if Cut = 0 then
    Cut := Pos('*', Rest);
  if Cut > 0 then
  begin
    Result.ClientFile := Copy(Rest, 1, Cut - 1);
    Result.ServerFile := Copy(Rest, Cut + 1, MaxInt);
  end
  else
  begin
    Result.ClientFile := Rest;
    Result.ServerFile := '';
  end;
  Result.Size := StrToInt64Def(string(Fields[0]), 0);
  Result.Count := StrToInt64Def(string(Fields[1]), 0);
  Result.Index := StrToIntDef(string(Fields[4]), 0);
  Result.Upload := Fields[5] = 'Upload';
end;

{$IFDEF MSWINDOWS}
var
  OutcomeMessage, DoneMessage: Cardinal; { registered in the initialization }
{$ENDIF}

{ TQvnTransfer: what the messages mean, the same on every platform. }

function TQvnTransfer.Handle(Msg: Cardinal; WParam: NativeUInt; LParam: NativeInt;
  var Answer: NativeInt): Boolean;
var
  Progress: TQvnProgress;
  Outcome: TQvnOutcome;
  Record_: PQvnTransferOutcome;
  Cancel: Boolean;
begin
  Result := True;
  Answer := 0;
  try
    if Msg = QVN_WM_TRANSFER_PROGRESS then
    begin
      Cancel := FCancelled;
      if not Cancel and Assigned(FOnProgress) then
      begin
        Progress := QvnParseProgress(PQvnChar(LParam));
        FOnProgress(Self, Progress, Cancel);
      end;
      if Cancel then
      begin
        FCancelled := True;
        Answer := QVN_CANCEL_TRANSFERS;
      end;
    end
    else if (Msg = {$IFDEF MSWINDOWS}OutcomeMessage{$ELSE}QVN_WM_TRANSFER_OUTCOME{$ENDIF}) then
    begin
      if Assigned(FOnOutcome) and (FFault = nil) then
      begin
        Record_ := PQvnTransferOutcome(LParam);
        Outcome.ClientFile := Record_.ClientFile;
        Outcome.ServerFile := Record_.ServerFile;
        Outcome.Reason := Record_.Reason;
        Outcome.Upload := Record_.Upload <> 0;
        Outcome.Status := Record_.Status;
        Outcome.Index := WParam;
        FOnOutcome(Self, Outcome);
      end;
    end
    else if (Msg = {$IFDEF MSWINDOWS}DoneMessage{$ELSE}QVN_WM_TRANSFERS_DONE{$ENDIF}) then
    begin
      FEntriesBegun := WParam;
      FEntriesNotCompleted := NativeUInt(LParam);
      FDone := True;
    end
    else
      Result := False;
  except
    if FFault = nil then
      FFault := TObject(AcquireExceptionObject); { Delphi: a Pointer }
    FCancelled := True;
    if Msg = QVN_WM_TRANSFER_PROGRESS then
      Answer := QVN_CANCEL_TRANSFERS;
  end;
end;

procedure TQvnTransfer.Cancel;
begin
  FCancelled := True;
end;

{$IFDEF MSWINDOWS}

const
  HWND_MESSAGE = HWND(-3);
  WindowClassName: PWideChar = 'QvnTransferWindow';

function TransferWindowProc(Window: HWND; Msg: UINT; WParam: WPARAM; LParam: LPARAM): LRESULT; stdcall;
var
  Transfer: TQvnTransfer;
  Answer: NativeInt;
begin
  Transfer := TQvnTransfer(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Transfer <> nil) and Transfer.Handle(Msg, WParam, LParam, Answer) then
  begin
    Result := Answer;
    { GetMessageW handles sent messages without returning: wake it. }
    if Msg = DoneMessage then
      PostMessageW(Window, WM_NULL, 0, 0);
  end
  else
    Result := DefWindowProcW(Window, Msg, WParam, LParam);
end;

var
  WindowClassRegistered: Boolean = False;

constructor TQvnTransfer.Create;
var
  WindowClass: TWndClassW;
begin
  inherited Create;
  if not WindowClassRegistered then
  begin
    FillChar(WindowClass, SizeOf(WindowClass), 0);
    WindowClass.lpfnWndProc := @TransferWindowProc;
    WindowClass.hInstance := HInstance;
    WindowClass.lpszClassName := WindowClassName;
    if (RegisterClassW(WindowClass) = 0) and (GetLastError <> ERROR_CLASS_ALREADY_EXISTS) then
      RaiseLastOSError;
    WindowClassRegistered := True;
  end;
  FWindow := CreateWindowExW(0, WindowClassName, nil, 0, 0, 0, 0, 0, HWND_MESSAGE, 0, HInstance, nil);
  if FWindow = 0 then
    RaiseLastOSError;
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, LONG_PTR(Self));
end;

destructor TQvnTransfer.Destroy;
begin
  if FWindow <> 0 then
    DestroyWindow(FWindow);
  inherited Destroy;
end;

{ Script's own done message reaches the window before Script returns; the
  transfer thread's messages are sent ones, handled inside GetMessageW. }
procedure WaitForDone(Transfer: TQvnTransfer);
var
  Msg: TMsg;
begin
  while not Transfer.FDone do
    case Integer(GetMessageW({$IFDEF FPC}@{$ENDIF}Msg, 0, 0, 0)) of
      0:
        begin { WM_QUIT: leave it to the program's own loop }
          PostQuitMessage(Msg.wParam);
          Exit;
        end;
      -1:
        RaiseLastOSError;
    else
      TranslateMessage({$IFDEF FPC}@{$ENDIF}Msg);
      DispatchMessageW({$IFDEF FPC}@{$ENDIF}Msg);
    end;
end;

function StartScript(Transfer: TQvnTransfer; const AScript, Host: UnicodeString;
  Port, FilePort: Word): PQvnChar;
begin
  Result := Script(Pointer(Transfer.FWindow), PQvnChar(AScript), PQvnChar(Host), Port, FilePort);
end;

{$ELSE}

{ The transfer thread is not one of the Pascal runtime's: the window proc
  touches only the mailbox and libc, and the handlers run on the thread in
  Run, as a window procedure does on Windows. }
function pthread_mutex_init(Mutex, Attr: Pointer): Integer; cdecl; external 'c';
function pthread_mutex_destroy(Mutex: Pointer): Integer; cdecl; external 'c';
function pthread_mutex_lock(Mutex: Pointer): Integer; cdecl; external 'c';
function pthread_mutex_unlock(Mutex: Pointer): Integer; cdecl; external 'c';
function pthread_cond_init(Cond, Attr: Pointer): Integer; cdecl; external 'c';
function pthread_cond_destroy(Cond: Pointer): Integer; cdecl; external 'c';
function pthread_cond_wait(Cond, Mutex: Pointer): Integer; cdecl; external 'c';
function pthread_cond_broadcast(Cond: Pointer): Integer; cdecl; external 'c';

type
  PQvnMailbox = ^TQvnMailbox;

{ Hands the message over and, but for the done message (after which the
  library lets go of the context), waits for the answer. }
function TransferWindowProc(Context: Pointer; Msg: Cardinal; WParam: NativeUInt;
  LParam: NativeInt): NativeInt; cdecl;
var
  Box: PQvnMailbox;
begin
  Result := 0;
  if (Msg <> QVN_WM_TRANSFER_PROGRESS) and (Msg <> QVN_WM_TRANSFER_OUTCOME) and
    (Msg <> QVN_WM_TRANSFERS_DONE) then
    Exit;
  Box := Context;
  pthread_mutex_lock(@Box.Mutex);
  Box.Msg := Msg;
  Box.WParam := WParam;
  Box.LParam := LParam;
  Box.Replied := False;
  Box.Pending := True;
  pthread_cond_broadcast(@Box.Cond);
  if Msg <> QVN_WM_TRANSFERS_DONE then
  begin
    while not Box.Replied do
      pthread_cond_wait(@Box.Cond, @Box.Mutex);
    Result := Box.Reply;
  end;
  pthread_mutex_unlock(@Box.Mutex);
end;

constructor TQvnTransfer.Create;
begin
  inherited Create;
  pthread_mutex_init(@FMailbox.Mutex, nil);
  pthread_cond_init(@FMailbox.Cond, nil);
  FWindow.Proc := TransferWindowProc;
  FWindow.Context := @FMailbox;
end;

destructor TQvnTransfer.Destroy;
begin
  { A done message's proc may still be leaving the mutex. }
  pthread_mutex_lock(@FMailbox.Mutex);
  pthread_mutex_unlock(@FMailbox.Mutex);
  pthread_cond_destroy(@FMailbox.Cond);
  pthread_mutex_destroy(@FMailbox.Mutex);
  inherited Destroy;
end;

procedure WaitForDone(Transfer: TQvnTransfer);
var
  Box: ^TQvnMailbox;
  Msg: Cardinal;
  WParam: NativeUInt;
  LParam, Answer: NativeInt;
begin
  Box := @Transfer.FMailbox;
  while not Transfer.FDone do
  begin
    pthread_mutex_lock(@Box.Mutex);
    while not Box.Pending do
      pthread_cond_wait(@Box.Cond, @Box.Mutex);
    Msg := Box.Msg;
    WParam := Box.WParam;
    LParam := Box.LParam;
    pthread_mutex_unlock(@Box.Mutex);
    { The proc waits meanwhile, so lparam's text or record is still valid. }
    Transfer.Handle(Msg, WParam, LParam, Answer);
    pthread_mutex_lock(@Box.Mutex);
    Box.Pending := False;
    Box.Reply := Answer;
    Box.Replied := True;
    pthread_cond_broadcast(@Box.Cond);
    pthread_mutex_unlock(@Box.Mutex);
  end;
end;

function StartScript(Transfer: TQvnTransfer; const AScript, Host: UnicodeString;
  Port, FilePort: Word): PQvnChar;
begin
  Result := Script(@Transfer.FWindow, PQvnChar(AScript), PQvnChar(Host), Port, FilePort);
end;

{$ENDIF}

function TQvnTransfer.Run(const AScript, Host: UnicodeString; Port, FilePort: Word): UnicodeString;
var
  Fault: TObject;
begin
  FCancelled := False;
  FDone := False;
  FEntriesBegun := 0;
  FEntriesNotCompleted := 0;
  FFault := nil;
  {$IFNDEF MSWINDOWS}
  FMailbox.Pending := False;
  {$ENDIF}
  QvnCheckTimeouts;
  { The done message comes once per call, also when no transfer starts. }
  Result := QvnTake(StartScript(Self, AScript, Host, Port, FilePort));
  WaitForDone(Self);
  Fault := FFault;
  FFault := nil;
  if Fault <> nil then
    raise Fault;
  QvnCheck('Script', Result);
end;

{$IFDEF MSWINDOWS}
initialization
  OutcomeMessage := RegisterWindowMessageW(QVN_WM_TRANSFER_OUTCOME_NAME);
  DoneMessage := RegisterWindowMessageW(QVN_WM_TRANSFERS_DONE_NAME);
{$ENDIF}
end.
