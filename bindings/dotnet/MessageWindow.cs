// Windows: the library reports a script's transfers to a window with
// SendMessageW, which a window receives only while its own thread waits for
// messages. Each Script call that may transfer gets a thread of its own with a
// message-only window: that thread calls Script, pumps messages until the done
// message (registered by name, as qvn.h describes), and destroys the window.
using System;
using System.Runtime.InteropServices;
using System.Threading;

namespace Qvn
{
    internal static class MessageWindow
    {
        const string ClassName = "Qvn.MessageWindow";
        static readonly IntPtr HwndMessage = new IntPtr(-3);
        static readonly object Lock = new object();
        static WindowProc procedure;  // rooted for the process: windows may outlive any call
        static uint outcomeMessage, doneMessage;

        [ThreadStatic] static ScriptRun current;  // the run of this thread's window

        internal static void Start(ScriptRun run, Client client, string script)
        {
            var thread = new Thread(() => Pump(run, client, script)) { IsBackground = true, Name = "qvn transfers" };
            thread.SetApartmentState(ApartmentState.STA);
            thread.Start();
        }

        static void Pump(ScriptRun run, Client client, string script)
        {
            IntPtr window = IntPtr.Zero;
            try
            {
                Register();
                window = CreateWindowExW(0, ClassName, "", 0, 0, 0, 0, 0, HwndMessage, IntPtr.Zero,
                                         GetModuleHandleW(null), IntPtr.Zero);
                if (window == IntPtr.Zero)
                    throw new InvalidOperationException("no message window (error " + Marshal.GetLastWin32Error() + ")");
                current = run;
                run.SetAnswer(Native.TakeText(Native.Script(window, script, client.Host, client.Port,
                                                            client.FilePort)));
                MSG msg;
                // The done message of Script itself (no transfer thread) came before it returned.
                while (!run.DoneSeen && GetMessageW(out msg, IntPtr.Zero, 0, 0) > 0)
                {
                    TranslateMessage(ref msg);
                    DispatchMessageW(ref msg);
                }
            }
            catch (Exception e)
            {
                run.Fail(e);
            }
            finally
            {
                current = null;
                if (window != IntPtr.Zero) DestroyWindow(window);
            }
        }

        static void Register()
        {
            lock (Lock)
            {
                if (procedure != null) return;
                outcomeMessage = RegisterWindowMessageW(Native.WmTransferOutcomeName);
                doneMessage = RegisterWindowMessageW(Native.WmTransfersDoneName);
                WindowProc proc = Procedure;
                var wc = new WNDCLASSW
                {
                    lpfnWndProc = Marshal.GetFunctionPointerForDelegate(proc),
                    hInstance = GetModuleHandleW(null),
                    lpszClassName = ClassName,
                };
                if (RegisterClassW(ref wc) == 0)
                    throw new InvalidOperationException("RegisterClassW failed (error " + Marshal.GetLastWin32Error() + ")");
                procedure = proc;
            }
        }

        static IntPtr Procedure(IntPtr window, uint message, IntPtr wparam, IntPtr lparam)
        {
            ScriptRun run = current;
            if (run != null)
            {
                try
                {
                    if (message == Native.WmTransferProgress)
                        return run.OnMessage(ScriptRun.Message.Progress, wparam.ToInt64(), lparam);
                    if (message != 0 && message == outcomeMessage)
                        return run.OnMessage(ScriptRun.Message.Outcome, wparam.ToInt64(), lparam);
                    if (message != 0 && message == doneMessage)
                    {
                        run.OnMessage(ScriptRun.Message.Done, wparam.ToInt64(), lparam);
                        PostQuitMessage(0);  // a sent message alone does not end GetMessageW
                        return IntPtr.Zero;
                    }
                }
                catch (Exception e)
                {
                    Console.Error.WriteLine("qvn: " + e);
                    return IntPtr.Zero;
                }
            }
            return DefWindowProcW(window, message, wparam, lparam);
        }

        delegate IntPtr WindowProc(IntPtr window, uint message, IntPtr wparam, IntPtr lparam);

        [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Unicode)]
        struct WNDCLASSW
        {
            public uint style;
            public IntPtr lpfnWndProc;
            public int cbClsExtra, cbWndExtra;
            public IntPtr hInstance, hIcon, hCursor, hbrBackground;
            public string lpszMenuName, lpszClassName;
        }

        [StructLayout(LayoutKind.Sequential)]
        struct MSG
        {
            public IntPtr hwnd;
            public uint message;
            public IntPtr wParam, lParam;
            public uint time;
            public int x, y;
        }

        [DllImport("user32", CharSet = CharSet.Unicode, SetLastError = true)]
        static extern uint RegisterWindowMessageW(string name);
        [DllImport("user32", CharSet = CharSet.Unicode, SetLastError = true)]
        static extern ushort RegisterClassW(ref WNDCLASSW wc);
        [DllImport("user32", CharSet = CharSet.Unicode, SetLastError = true)]
        static extern IntPtr CreateWindowExW(uint exStyle, string className, string windowName, uint style,
                                             int x, int y, int width, int height, IntPtr parent,
                                             IntPtr menu, IntPtr instance, IntPtr param);
        [DllImport("user32")]
        static extern bool DestroyWindow(IntPtr window);
        [DllImport("user32")]
        static extern IntPtr DefWindowProcW(IntPtr window, uint message, IntPtr wparam, IntPtr lparam);
        [DllImport("user32")]
        static extern int GetMessageW(out MSG msg, IntPtr window, uint min, uint max);
        [DllImport("user32")]
        static extern bool TranslateMessage(ref MSG msg);
        [DllImport("user32")]
        static extern IntPtr DispatchMessageW(ref MSG msg);
        [DllImport("user32")]
        static extern void PostQuitMessage(int code);
        [DllImport("kernel32", CharSet = CharSet.Unicode)]
        static extern IntPtr GetModuleHandleW(string name);
    }
}
