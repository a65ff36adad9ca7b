// NOT RUN HERE: there is no .NET on the machines that build and test Norvane.
//
// A Windows Forms form that holds the Tavrix control. Generate the wrappers from the control with
//     aximp Norvane.ocx          (gives TavrixLib.dll and AxTavrixLib.dll; the names follow the
//                                 type library "Tavrix")
// reference both, and build for x86 to use bin\Norvane.ocx, or for x64 (or any CPU on 64-bit
// Windows) to use bin\x64\Norvane.ocx. .NET receives the signed byte Error as sbyte.
using System;
using System.Windows.Forms;

public class ReadCardForm : Form
{
    private readonly AxTavrixLib.AxTavrix tavrix = new AxTavrixLib.AxTavrix();
    private readonly Button read = new Button { Text = "Read", Top = 60 };

    public ReadCardForm()
    {
        ((System.ComponentModel.ISupportInitialize)tavrix).BeginInit();
        Controls.Add(tavrix);
        ((System.ComponentModel.ISupportInitialize)tavrix).EndInit();
        Controls.Add(read);
        // The event arguments are named after the type library's parameters.
        tavrix.On_ReadData += (sender, e) =>
            MessageBox.Show(e.error == 0 ? "Card " + e.card_ID : "Not read: " + e.message);
        read.Click += (sender, e) =>
        {
            try { tavrix.Read_Card("EDY"); }  // the event comes before this returns
            catch (System.Runtime.InteropServices.COMException fault)
            {
                MessageBox.Show(fault.Message + " (0x" + fault.ErrorCode.ToString("X8") + ")");
            }
        };
    }

    [STAThread]
    public static void Main() => Application.Run(new ReadCardForm());
}
