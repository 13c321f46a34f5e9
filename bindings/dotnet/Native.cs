// The 17 exports of qvn.dll / libqvn.so as they are, with the constants and
// records of qvn.h.
//
// DllImport("qvn") finds qvn.dll on Windows. On Linux the .NET runtime tries
// libqvn.so (the development link of libqvn-dev, or one beside the program);
// Mono reads Qvn.dll.config, which maps "qvn" to libqvn.so.1, the run-time
// name that the libqvn1 package installs. Both search LD_LIBRARY_PATH.
using System;
using System.Runtime.InteropServices;

namespace Qvn
{
    /// <summary>The library's exports, unchanged. Text arguments go as UTF-16
    /// (null counts as empty text); every text result is an IntPtr to hand to
    /// <see cref="ScriptFree"/> and to nothing else (<see cref="TakeText"/> does
    /// both). The calling convention is the platform's (Winapi: cdecl on Linux,
    /// the one Win64 convention on Windows).</summary>
    public static class Native
    {
        public const string Library = "qvn";

        /// <summary>Window message of transfer progress: wparam the transfer's index,
        /// lparam the text "client*server*size*count*percent%*tag*index*Upload|Download",
        /// valid during the call only.</summary>
        public const uint WmTransferProgress = 5266;

        /// <summary>Linux: the last message of every Script call that was given a
        /// window: wparam the entries begun, lparam those that did not complete.
        /// Windows: the registered message named <see cref="WmTransfersDoneName"/>.</summary>
        public const uint WmTransfersDone = 5267;

        /// <summary>Linux: one message per file entry when it has ended: wparam its index,
        /// lparam a <see cref="QvnTransferOutcome"/> valid during the call only.
        /// Windows: the registered message named <see cref="WmTransferOutcomeName"/>.</summary>
        public const uint WmTransferOutcome = 5268;

        /// <summary>Windows: the names to give RegisterWindowMessageW for the numbers of
        /// the done and outcome messages.</summary>
        public const string WmTransfersDoneName = "QVN_WM_TRANSFERS_DONE";
        public const string WmTransferOutcomeName = "QVN_WM_TRANSFER_OUTCOME";

        /// <summary>Returned for a progress message: ends that entry at once and starts
        /// no further entry of the same Script call.</summary>
        public static readonly IntPtr CancelTransfers = new IntPtr(0x51564E43);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr Script(IntPtr messageHandle, string script, string host,
                                           ushort port, ushort filePort);

        [DllImport(Library)]
        public static extern void ScriptFree(IntPtr text);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool TryConnect(string host, ushort port, int timeoutMs);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr TryDbPassword(string host, ushort port, string credentials);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr ShowDbName(string host, ushort port);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr ChangeUniquePass(string host, ushort port, string dbPassword,
                                                     string user, string userPassword,
                                                     string newPassword);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr DbMessageFile(string host, ushort port, string message);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr DbMessagePipe(string host, ushort port, string message);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr DbMessageTcp(string host, ushort port, string receiverHost,
                                                 ushort receiverPort, string message);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr UserAuthentication(string host, ushort port, string user,
                                                       string password);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool UpdateIsAvailable(string host, ushort port, string credentials,
                                                    string table, int searchField,
                                                    string searchText, int versionField);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr PackString(string text);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr UnPackString(string text);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr DataEncode(string text);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr DataDecode(string text);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern int ValueCount(string source, string delimiter,
                                            [MarshalAs(UnmanagedType.I1)] bool countSingle);

        [DllImport(Library, CharSet = CharSet.Unicode)]
        public static extern IntPtr ValueFromString(string source, int index, string delimiter);

        /// <summary>The text of a result, which is then released with ScriptFree.</summary>
        public static string TakeText(IntPtr result)
        {
            try
            {
                return ReadText(result);
            }
            finally
            {
                ScriptFree(result);
            }
        }

        /// <summary>The NUL-terminated UTF-16 text at an address (null: "").</summary>
        public static string ReadText(IntPtr text)
        {
            return text == IntPtr.Zero ? "" : Marshal.PtrToStringUni(text);
        }
    }

    /// <summary>How one file entry ended (QvnTransferOutcome of qvn.h).</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct QvnTransferOutcome
    {
        public IntPtr ClientFile;  // UTF-16: the entry's local path
        public IntPtr ServerFile;  // UTF-16: the server's name, with its "..\" or ".@\" prefix
        public int Upload;         // 1 for an upload, 0 for a download
        public int Status;         // a TransferStatus
        public IntPtr Reason;      // UTF-16: "" when completed, else a short English cause
    }

    /// <summary>Values of <see cref="QvnTransferOutcome.Status"/>.</summary>
    public enum TransferStatus
    {
        Completed = 0,   // every block went through (download: the file is in place)
        Failed = 1,      // refused, connection lost, target or source unusable
        Skipped = 2,     // upload whose local file is missing or not a file
        TimedOut = 3,    // QVN_CONNECT_TIMEOUT_MS or QVN_IO_TIMEOUT_MS ran out
        Cancelled = 4,   // the progress handler returned CancelTransfers
        NotStarted = 5,  // an earlier entry was cancelled or could not connect
    }

    /// <summary>Linux: the library calls Proc(Context, message, wparam, lparam) on its
    /// transfer thread. Script copies both before it returns, so the record may go
    /// then; the delegate behind Proc and whatever Context names must stay alive
    /// until the done message.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct QvnWindow
    {
        public IntPtr Proc;  // Marshal.GetFunctionPointerForDelegate of a QvnWindowProc
        public IntPtr Context;
    }

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    public delegate IntPtr QvnWindowProc(IntPtr context, uint message, UIntPtr wparam, IntPtr lparam);
}
