// NOT RUN HERE: there is no .NET on the machines that build and test Norvane.
//
// A Windows Forms form (.NET Framework) that holds the Tavrix control.
//
// The wrappers: the names follow the type library, "Tavrix".
//     aximp bin\Norvane.ocx      gives Tavrix.dll (namespace Tavrix) and AxTavrix.dll (namespace
//                                AxTavrix, the form's wrapper class AxTavrix.AxTavrix)
// Visual Studio's toolbox makes the same two as Interop.Tavrix.dll and AxInterop.Tavrix.dll.
//
// The architecture: the control runs inside this program's process, so build for the control's.
//     csc /target:winexe /platform:x86 /r:Tavrix.dll /r:AxTavrix.dll /r:Microsoft.CSharp.dll ReadCardForm.cs
// /platform:x86 uses bin\Norvane.ocx, /platform:x64 bin\x64\Norvane.ocx. In a project, set
// PlatformTarget to x86 or x64: "Any CPU" with "Prefer 32-bit" (the default for a .NET Framework
// executable) runs as 32-bit and needs the x86 control; "Any CPU" without it runs as 64-bit on
// 64-bit Windows and needs the x64 control.
//
// The event: .NET receives the signed byte Error as sbyte; the event's fields are the type
// library's parameter names with a lower-case first letter (card_ID, error, message).
// The text of a fault: a call through the wrapper (early bound) gives only the HRESULT's own text
// ("Catastrophic failure"), because the control does not announce error information for ITavrix;
// the same call made late bound, through the control's IDispatch, carries the control's text.
using System;
using System.Runtime.InteropServices;
using System.Windows.Forms;

public class ReadCardForm : Form
{
    private readonly AxTavrix.AxTavrix tavrix = new AxTavrix.AxTavrix();
    private readonly Button read = new Button { Text = "Read", Top = 60 };

    public ReadCardForm()
    {
        ((System.ComponentModel.ISupportInitialize)tavrix).BeginInit();
        Controls.Add(tavrix);
        ((System.ComponentModel.ISupportInitialize)tavrix).EndInit();
        Controls.Add(read);
        tavrix.On_ReadData += (sender, e) =>
            MessageBox.Show(e.error == 0 ? "Card " + e.card_ID : "Not read: " + e.message);
        read.Click += (sender, e) =>
        {
            try
            {
                dynamic control = tavrix.GetOcx();  // late bound: a fault brings the control's text
                control.Read_Card("EDY");           // the event comes before this returns
            }
            catch (COMException fault)
            {
                // 0x8000FFFF: no usable reader library (run tavrix-host diagnose)
                MessageBox.Show(fault.Message + " (0x" + fault.ErrorCode.ToString("X8") + ")");
            }
        };
    }

    [STAThread]
    public static void Main() => Application.Run(new ReadCardForm());
}
