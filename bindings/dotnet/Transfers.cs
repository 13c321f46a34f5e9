// Progress and outcomes of a script's file transfers, and the Script call that
// waits for them. The library runs file sections on a thread of its own and
// reports to a window: progress messages, one outcome message per entry, and
// exactly one done message per Script call given a window (also when it starts
// no transfer). Linux: a QvnWindow whose proc is one delegate for the whole
// process and whose context is a GCHandle to the call's ScriptRun, freed at the
// done message. Windows: a message-only window (MessageWindow.cs).
using System;
using System.Collections.Generic;
using System.Globalization;
using System.Runtime.InteropServices;
using System.Threading;
using System.Threading.Tasks;

namespace Qvn
{
    /// <summary>One progress report of a transfer: after every tenth block and at its end.</summary>
    public sealed class TransferProgress
    {
        public string ClientFile { get; private set; }
        public string ServerFile { get; private set; }  // with its "..\" or ".@\" prefix
        public long Size { get; private set; }
        public long Count { get; private set; }  // bytes moved so far; Size in the final report
        public double Percent { get; private set; }
        public bool Upload { get; private set; }
        public int Index { get; private set; }  // as in the entry's outcome
        public bool Complete { get { return Count == Size; } }

        /// <summary>Reads "client*server*size*count*percent%*tag*index*Upload|Download".
        /// Names may hold "*": the six fixed fields are taken from the right, and the
        /// rest is split at the first "*" followed by "..\" or ".@\", else at its first "*".</summary>
        public static TransferProgress Parse(string text)
        {
            var fields = new List<string>();
            int end = text.Length;
            for (int i = 0; i < 6; i++)
            {
                int star = text.LastIndexOf('*', end - 1 < 0 ? 0 : end - 1);
                if (end == 0 || star < 0) throw new FormatException("not a progress text: " + text);
                fields.Insert(0, text.Substring(star + 1, end - star - 1));
                end = star;
            }
            string names = text.Substring(0, end);
            int cut = -1;
            foreach (string prefix in new[] { "*..\\", "*.@\\" })
            {
                int at = names.IndexOf(prefix, StringComparison.Ordinal);
                if (at >= 0 && (cut < 0 || at < cut)) cut = at;
            }
            if (cut < 0) cut = names.IndexOf('*');
            long size = Number(fields[0]), count = Number(fields[1]);
            double percent;
            if (!double.TryParse(fields[2].TrimEnd('%').Replace(',', '.'), NumberStyles.Float,
                                 CultureInfo.InvariantCulture, out percent))
                percent = size > 0 ? 100.0 * count / size : 100.0;
            return new TransferProgress
            {
                ClientFile = cut >= 0 ? names.Substring(0, cut) : names,
                ServerFile = cut >= 0 ? names.Substring(cut + 1) : "",
                Size = size, Count = count, Percent = percent,
                Index = (int)Number(fields[4]), Upload = fields[5] == "Upload",
            };
        }

        static long Number(string s)
        {
            long n;
            return long.TryParse(s, NumberStyles.Integer, CultureInfo.InvariantCulture, out n) ? n : 0;
        }
    }

    /// <summary>How one file entry of a script ended.</summary>
    public sealed class TransferOutcome
    {
        internal TransferOutcome(QvnTransferOutcome o, int index)
        {
            ClientFile = Native.ReadText(o.ClientFile);
            ServerFile = Native.ReadText(o.ServerFile);
            Upload = o.Upload != 0;
            // A status this binding does not know yet did not complete.
            Status = Enum.IsDefined(typeof(TransferStatus), o.Status) ? (TransferStatus)o.Status
                                                                      : TransferStatus.Failed;
            Reason = Native.ReadText(o.Reason);
            Index = index;
        }

        public string ClientFile { get; }
        public string ServerFile { get; }  // with its "..\" or ".@\" prefix
        public bool Upload { get; }
        public TransferStatus Status { get; }
        public string Reason { get; }  // "" when completed, else a short English cause
        public int Index { get; }  // as in the entry's progress; 0 when no transfer began
        public bool Completed { get { return Status == TransferStatus.Completed; } }

        public override string ToString()
        {
            return (Upload ? "upload " + ClientFile + " -> " + ServerFile
                           : "download " + ServerFile + " -> " + ClientFile)
                + ": " + Status + (Reason.Length > 0 ? " (" + Reason + ")" : "");
        }
    }

    /// <summary>A script's answer and what became of its file entries.</summary>
    public sealed class ScriptResult
    {
        internal ScriptResult(string answer, int begun, int failed, List<TransferOutcome> outcomes)
        {
            Answer = answer;
            Begun = begun;
            Failed = failed;
            Outcomes = outcomes;
        }

        public string Answer { get; }
        public int Begun { get; }  // entries a transfer was begun for
        public int Failed { get; }  // entries that did not complete
        public IReadOnlyList<TransferOutcome> Outcomes { get; }  // in script order
    }

    /// <summary>One Script call given a window, until its answer and its done message
    /// are both in (in either order: without a transfer thread the done message comes
    /// before Script returns).</summary>
    internal sealed class ScriptRun
    {
        readonly IProgress<TransferProgress> progress;
        readonly CancellationToken cancel;
        readonly List<TransferOutcome> outcomes = new List<TransferOutcome>();
        readonly TaskCompletionSource<ScriptResult> completion =
            new TaskCompletionSource<ScriptResult>(TaskCreationOptions.RunContinuationsAsynchronously);
        int pending = 2;  // the answer and the done message
        bool cancelled;
        string answer;
        int begun, failed;

        internal ScriptRun(IProgress<TransferProgress> progress, CancellationToken cancel)
        {
            this.progress = progress;
            this.cancel = cancel;
        }

        internal Task<ScriptResult> Completion { get { return completion.Task; } }
        internal bool DoneSeen { get; private set; }

        internal static bool Windows
        {
            get { return Environment.OSVersion.Platform == PlatformID.Win32NT; }
        }

        /// <summary>Runs Script and completes when the answer and the done message are in.</summary>
        internal static Task<ScriptResult> Start(Client client, string script,
                                                 IProgress<TransferProgress> progress,
                                                 CancellationToken cancel, bool onThisThread)
        {
            Timeouts.Check();
            var run = new ScriptRun(progress, cancel);
            if (Windows)
                MessageWindow.Start(run, client, script);  // its own thread pumps the window
            else if (onThisThread)
                run.CallScript(client, script);
            else
                Task.Factory.StartNew(() => run.CallScript(client, script), CancellationToken.None,
                                      TaskCreationOptions.LongRunning, TaskScheduler.Default);
            return run.Completion;
        }

        // Linux: one delegate for the process, so that no call can outlive it.
        static readonly QvnWindowProc Proc = Dispatch;
        static readonly IntPtr ProcPointer = Marshal.GetFunctionPointerForDelegate(Proc);

        void CallScript(Client client, string script)
        {
            // Keeps this run alive (and findable from the library's thread) until the done message.
            GCHandle self = GCHandle.Alloc(this);
            var window = new QvnWindow { Proc = ProcPointer, Context = GCHandle.ToIntPtr(self) };
            // Script copies the record before it returns: pinned for the call only.
            GCHandle pinned = GCHandle.Alloc(window, GCHandleType.Pinned);
            try
            {
                SetAnswer(Native.TakeText(Native.Script(pinned.AddrOfPinnedObject(), script,
                                                        client.Host, client.Port, client.FilePort)));
            }
            catch (Exception e)  // the library could not be called: no message will come
            {
                self.Free();
                completion.TrySetException(e);
            }
            finally
            {
                pinned.Free();
            }
        }

        static IntPtr Dispatch(IntPtr context, uint message, UIntPtr wparam, IntPtr lparam)
        {
            try
            {
                GCHandle self = GCHandle.FromIntPtr(context);
                var run = (ScriptRun)self.Target;
                if (message == Native.WmTransfersDone) self.Free();  // the last use of context
                return run.OnMessage(message == Native.WmTransferProgress ? Message.Progress
                                     : message == Native.WmTransferOutcome ? Message.Outcome
                                     : message == Native.WmTransfersDone ? Message.Done
                                     : Message.Other, (long)wparam.ToUInt64(), lparam);
            }
            catch (Exception e)  // a fault of the binding itself: never into the library's thread
            {
                Console.Error.WriteLine("qvn: " + e);
                return IntPtr.Zero;
            }
        }

        internal enum Message { Other, Progress, Outcome, Done }

        /// <summary>A message of the library, on its thread (Windows: the window's).</summary>
        internal IntPtr OnMessage(Message message, long wparam, IntPtr lparam)
        {
            switch (message)
            {
                case Message.Progress:
                    if (cancel.IsCancellationRequested) cancelled = true;
                    if (!cancelled && progress != null && lparam != IntPtr.Zero)
                    {
                        try
                        {
                            progress.Report(TransferProgress.Parse(Native.ReadText(lparam)));
                        }
                        catch (Exception e)  // the transfers go on
                        {
                            Console.Error.WriteLine("qvn: the progress handler failed: " + e);
                        }
                    }
                    return cancelled ? Native.CancelTransfers : IntPtr.Zero;
                case Message.Outcome:
                    if (lparam != IntPtr.Zero)
                        outcomes.Add(new TransferOutcome(
                            Marshal.PtrToStructure<QvnTransferOutcome>(lparam), unchecked((int)wparam)));
                    return IntPtr.Zero;
                case Message.Done:
                    begun = unchecked((int)wparam);
                    failed = unchecked((int)lparam.ToInt64());
                    DoneSeen = true;
                    Arrived();
                    return IntPtr.Zero;
                default:
                    return IntPtr.Zero;
            }
        }

        internal void SetAnswer(string text)
        {
            answer = text;
            Arrived();
        }

        internal void Fail(Exception e)
        {
            completion.TrySetException(e);
        }

        void Arrived()
        {
            if (Interlocked.Decrement(ref pending) == 0)
                completion.TrySetResult(new ScriptResult(answer, begun, failed, outcomes));
        }
    }
}
