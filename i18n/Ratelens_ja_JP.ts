<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>AMeasP</name>
    <message>
        <location filename="../window/ameasp.ui" line="+6"/>
        <source>A Meas Point</source>
        <translation>測定点</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>I0</source>
        <translation></translation>
    </message>
    <message>
        <location line="+15"/>
        <source>ICRs</source>
        <translation></translation>
    </message>
    <message>
        <location line="+27"/>
        <location filename="../window/body.cpp" line="+53"/>
        <source>SCAs</source>
        <translation></translation>
    </message>
    <message>
        <location line="-17"/>
        <source>0</source>
        <translation></translation>
    </message>
</context>
<context>
    <name>Body</name>
    <message>
        <location filename="../window/body.ui" line="+6"/>
        <source>Ratelens</source>
        <translation></translation>
    </message>
    <message>
        <location line="+41"/>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Read File(s)</source>
        <translation>ファイル読込</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>I0 Back Ground</source>
        <translation>I0バックグラウンド</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>0</source>
        <translation></translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Tau0s (preAmp)</source>
        <translation>τ0 (preAmp)</translation>
    </message>
    <message>
        <location line="-5"/>
        <source>Taus (Amp)</source>
        <translation>τ (Amp)</translation>
    </message>
    <message>
        <location filename="../window/body.cpp" line="-17"/>
        <source>Fit details...</source>
        <translation>フィット詳細...</translation>
    </message>
    <message>
        <location line="+271"/>
        <source>Nothing saved: no dead times estimated yet</source>
        <translation>保存していません: デッドタイムがまだ推定されていません</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Saved %1 and %2</source>
        <translation>%1 と %2 を保存しました</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+2"/>
        <source>Saved %1, but cannot write %2</source>
        <translation>%1 を保存しましたが、%2 は書き込めません</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Nothing saved: cannot write %1 or %2</source>
        <translation>保存していません: %1 も %2 も書き込めません</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Nothing saved: the folder %1 does not exist</source>
        <translation>保存していません: フォルダ %1 がありません</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>not a regular file</source>
        <translation>通常のファイルではありません</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>cannot be opened</source>
        <translation>開けません</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>no measurement point in it</source>
        <translation>測定点がありません</translation>
    </message>
    <message>
        <location line="+5"/>
        <location line="+1"/>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Not loaded: %1</source>
        <translation>読み込めませんでした: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Not loaded:</source>
        <translation>読み込めませんでした:</translation>
    </message>
    <message>
        <location line="+55"/>
        <source>Channel %1, point %2</source>
        <translation>チャンネル %1、測定点 %2</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>%1, line %2</source>
        <translation>%1、%2 行目</translation>
    </message>
    <message>
        <location line="+85"/>
        <source>Remove this point</source>
        <translation>この測定点を削除</translation>
    </message>
    <message>
        <source>Take this channel back</source>
        <translation>このチャンネルを戻す</translation>
    </message>
    <message>
        <source>Leave this channel out</source>
        <translation>このチャンネルを除外</translation>
    </message>
    <message>
        <source>Whether the channel's dead times go into the .conf file and its mean line</source>
        <translation>このチャンネルのデッドタイムを .conf ファイルとその平均行に入れるかどうか</translation>
    </message>
    <message>
        <source>Saved %1 and %2; the mean line leaves out channel %3: dead time not a number</source>
        <translation>%1 と %2 を保存しました。チャンネル %3 はデッドタイムが数値でないため平均行に含めていません</translation>
    </message>
    <message>
        <source>%1 has fields that are not numbers, read as 0, from line %2 on</source>
        <translation>%1 に数値でないフィールドがあります（0 として読み込み、%2 行目から）</translation>
    </message>
    <message>
        <source>Channel counts differ: %1 has %2, %3 has %4; the %5 channels all points have are used</source>
        <translation>チャンネル数が異なります: %1 は %2、%3 は %4。全測定点に共通の %5 チャンネルを使います</translation>
    </message>
    <message>
        <source>Dead times not updated: %1; the results shown are of the earlier points</source>
        <translation>デッドタイムを更新していません: %1。表示中の結果は以前の測定点のものです</translation>
    </message>
    <message>
        <source>No dead times: %1</source>
        <translation>デッドタイムなし: %1</translation>
    </message>
    <message>
        <source>they need at least two measurement points</source>
        <translation>測定点が 2 つ以上必要です</translation>
    </message>
    <message>
        <source>the points share fewer than two channels, %1 has %2</source>
        <translation>測定点に共通のチャンネルが 2 つ未満です（%1 は %2 チャンネル）</translation>
    </message>
    <message>
        <source>the earlier results: %1</source>
        <translation>以前の結果: %1</translation>
    </message>
    <message>
        <source>Not the dead times of the loaded points: %1. These are of the points loaded before, and Save writes them.</source>
        <translation>読み込んだ測定点のデッドタイムではありません: %1。これは以前に読み込んだ測定点の結果で、保存するとこれが書き出されます。</translation>
    </message>
    <message>
        <source>the recipe of the Columns window</source>
        <translation>「列」ウィンドウのレシピ</translation>
    </message>
    <message>
        <source>Saved %1 and %2; channel %3 not determined: nan, and 0 out of the mean line</source>
        <translation>%1 と %2 を保存しました。チャンネル %3 は決定できないため nan とし、.conf では 0 として平均行に含めていません</translation>
    </message>
    <message>
        <source>Read as columns...</source>
        <translation>列として読む...</translation>
    </message>
</context>
<context>
    <name>DispA</name>
    <message>
        <location filename="../window/dispa.cpp" line="+135"/>
        <source>Show axes and legend</source>
        <translation>軸と凡例を表示</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Restore data ranges</source>
        <translation>データ範囲に戻す</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Save image...</source>
        <translation>画像を保存...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Copy image</source>
        <translation>画像をコピー</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Save Plot Image</source>
        <translation>プロット画像の保存</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>PNG image (*.png)</source>
        <translation>PNG画像 (*.png)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SVG image (*.svg)</source>
        <translation>SVG画像 (*.svg)</translation>
    </message>
</context>
<context>
    <name>FitDetails</name>
    <message>
        <location filename="../window/fitdetails.cpp" line="+28"/>
        <source>Quadratic</source>
        <translation>二次式</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+11"/>
        <source>Paralyzable</source>
        <translation>麻痺型</translation>
    </message>
    <message>
        <location line="-9"/>
        <location line="+11"/>
        <source>Non-paralyzable</source>
        <translation>非麻痺型</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Indistinguishable</source>
        <translation>区別不能</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Undecided</source>
        <translation>未決定</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>none</source>
        <translation>なし</translation>
    </message>
    <message>
        <location line="+45"/>
        <source>failed</source>
        <translation>失敗</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Channel %1, Tau0 (preAmp)</source>
        <translation>チャンネル %1、Tau0（プリアンプ）</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel %1, Tau (Amp)</source>
        <translation>チャンネル %1、Tau（アンプ）</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Preferred model: %1</source>
        <translation>推奨モデル: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Flags: %1</source>
        <translation>フラグ: %1</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Save the fit table</source>
        <translation>フィット表の保存</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>CSV files (*.csv)</source>
        <translation>CSV ファイル (*.csv)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Fit details</source>
        <translation>フィット詳細</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>All models</source>
        <translation>全モデル</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Channel</source>
        <translation>チャンネル</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Model</source>
        <translation>モデル</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Tau0 ± σ</source>
        <translation>Tau0 ± σ</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Tau ± σ</source>
        <translation>Tau ± σ</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Reduced χ² (I0 → ICR)</source>
        <translation>換算 χ² (I0 → ICR)</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Reduced χ² (ICR → SCA)</source>
        <translation>換算 χ² (ICR → SCA)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Preferred (Tau0)</source>
        <translation>推奨 (Tau0)</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Preferred (Tau)</source>
        <translation>推奨 (Tau)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Flags</source>
        <translation>フラグ</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Copy</source>
        <translation>コピー</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save CSV...</source>
        <translation>CSV 保存...</translation>
    </message>
    <message>
        <source>Save dead times...</source>
        <translation>不感時間を保存...</translation>
    </message>
    <message>
        <source>Correct scans...</source>
        <translation>スキャンを補正...</translation>
    </message>
    <message>
        <source>Save dead times</source>
        <translation>不感時間を保存</translation>
    </message>
    <message>
        <source>Dead-time files (*.json)</source>
        <translation>不感時間ファイル (*.json)</translation>
    </message>
    <message>
        <source>Correct scans</source>
        <translation>スキャンを補正</translation>
    </message>
    <message>
        <source>No fit yet: load measurement files first</source>
        <translation>まだフィットがありません: 先に測定ファイルを読み込んでください</translation>
    </message>
    <message>
        <source>Choose the paralyzable or the non-paralyzable model first</source>
        <translation>先に麻痺型か非麻痺型のモデルを選んでください</translation>
    </message>
    <message>
        <source>Saved the dead times in %1</source>
        <translation>不感時間を %1 に保存しました</translation>
    </message>
    <message>
        <source>Cannot write %1</source>
        <translation>%1 に書き込めません</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message numerus="yes">
        <source>Correcting %n scan(s)...</source>
        <translation>
            <numerusform>%n 個のスキャンを補正しています...</numerusform>
        </translation>
    </message>
    <message>
        <source>Corrected %1 of %2 scans beside them</source>
        <translation>%2 個のスキャンのうち %1 個を補正し、元のファイルの隣に保存しました</translation>
    </message>
    <message>
        <source>; %1 points left uncorrected (nan)</source>
        <translation>。%1 点は補正できませんでした (nan)</translation>
    </message>
    <message>
        <source>; not corrected: %1</source>
        <translation>。補正できなかったもの: %1</translation>
    </message>
    <message>
        <source>no recipe reads its columns; set one in the Columns window</source>
        <translation>列を読めるレシピがありません。「列」ウィンドウでレシピを設定してください</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Model:</source>
        <translation>モデル:</translation>
    </message>
    <message>
        <location line="+77"/>
        <source>No estimation: read at least two measurement points.</source>
        <translation>推定なし: 測定点を 2 点以上読み込んでください。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normalised residuals (y − fit) / σ of the selected channel; where a model holds they scatter within ±2.</source>
        <translation>選択したチャンネルの規格化残差 (y − フィット) / σ。モデルが合っていれば ±2 の範囲に散らばります。</translation>
    </message>
    <message>
        <location line="+31"/>
        <source>%1, channel %2: against I0</source>
        <translation>%1、チャンネル %2: I0 に対して</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1, channel %2: against ICR</source>
        <translation>%1、チャンネル %2: ICR に対して</translation>
    </message>
    <message>
        <location line="+66"/>
        <source>Cannot write %1: %2</source>
        <translation>%1 に書き込めません: %2</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Saved %1</source>
        <translation>%1 を保存しました</translation>
    </message>
    <message>
        <source>not determined</source>
        <translation>決定できません</translation>
    </message>
    <message>
        <source>%1 (fixed)</source>
        <translation>%1 (固定)</translation>
    </message>
    <message>
        <source>statistical %1 µs</source>
        <translation>統計 %1 µs</translation>
    </message>
    <message>
        <source>model (laws not told apart) %1 µs</source>
        <translation>モデル (法則を区別できない) %1 µs</translation>
    </message>
    <message>
        <source>between %1 files %2 µs (their scatter %3 µs)</source>
        <translation>%1 ファイル間 %2 µs (ばらつき %3 µs)</translation>
    </message>
    <message>
        <source>total, in quadrature: %1 µs</source>
        <translation>合計 (二乗和の平方根): %1 µs</translation>
    </message>
    <message>
        <source>reduced χ² far below 1: the weights do not describe the noise</source>
        <translation>換算 χ² が 1 よりはるかに小さい: 重みがノイズを表していません</translation>
    </message>
    <message>
        <source>Error of the quadratic's dead time:</source>
        <translation>二次式のデッドタイムの誤差:</translation>
    </message>
    <message>
        <source>Amplifier with d0 = 1</source>
        <translation>アンプを d0 = 1 で</translation>
    </message>
    <message>
        <source>Fit the amplifier stage with d0 = 1, the convention of electronics whose SCA column is their total output count</source>
        <translation>SCA 列が全出力カウントである電子回路の慣例どおり、アンプ段を d0 = 1 でフィットします</translation>
    </message>
    <message>
        <source>a ± σ</source>
        <translation>a ± σ</translation>
    </message>
    <message>
        <source>d0 ± σ</source>
        <translation>d0 ± σ</translation>
    </message>
    <message>
        <source>Flags (Tau0)</source>
        <translation>フラグ (Tau0)</translation>
    </message>
    <message>
        <source>Flags (Tau)</source>
        <translation>フラグ (Tau)</translation>
    </message>
    <message>
        <source>fewer than 3 usable points</source>
        <translation>使える測定点が 3 点未満</translation>
    </message>
    <message>
        <source>no counts at any point</source>
        <translation>どの測定点にもカウントがない</translation>
    </message>
    <message>
        <source>the rates never change (a stale readout)</source>
        <translation>レートが変化しない（読み出しが更新されていない）</translation>
    </message>
    <message>
        <source>SCA above ICR at most points: the fast channel misses events</source>
        <translation>ほとんどの測定点で SCA が ICR を上回る: 高速チャンネルがイベントを取りこぼしている</translation>
    </message>
    <message>
        <source>I0 does not vary by a factor 2, or ICR does not follow it (an energy scan)</source>
        <translation>I0 が 2 倍以上変化しないか、ICR が I0 に従わない（エネルギースキャン）</translation>
    </message>
    <message>
        <source>no law gives a usable fit</source>
        <translation>どの法則でも使えるフィットが得られない</translation>
    </message>
    <message>
        <source>Not determined: %1</source>
        <translation>決定できません: %1</translation>
    </message>
    <message>
        <source>Amplifier stage alone</source>
        <translation>アンプ段のみ</translation>
    </message>
    <message>
        <source>Correct the amplifier stage alone, neglecting the pre-amplifier's dead time: ICR is taken as the amplifier's input rate</source>
        <translation>プリアンプのデッドタイムを無視してアンプ段だけを補正します: ICR をアンプへの入力レートとみなします</translation>
    </message>
    <message>
        <source>Nothing corrected: %1</source>
        <translation>補正していません: %1</translation>
    </message>
    <message>
        <source>%1 element %2</source>
        <translation>%1 の素子 %2</translation>
    </message>
    <message>
        <source>; left uncorrected (nan), their dead times not determined: %1 (dead times from a calibration at several intensities would correct them, or the amplifier stage alone)</source>
        <translation>。デッドタイムが決定できないため補正していません（nan）: %1（複数の強度で測定した較正のデッドタイムか、アンプ段のみの補正なら補正できます）</translation>
    </message>
</context>
<context>
    <name>MeasSet</name>
    <message>
        <source>Left out of the .conf file and its mean line</source>
        <translation>.conf ファイルとその平均行から除外</translation>
    </message>
    <message>
        <source>n/d</source>
        <translation>未決定</translation>
    </message>
    <message>
        <source>Saved as nan, and as 0 in the .conf file, out of its mean line</source>
        <translation>nan として保存し、.conf ファイルでは 0 として平均行に含めません</translation>
    </message>
</context>
<context>
    <name>Hdf5Columns</name>
    <message>
        <location filename="../data/hdf5columns.cpp" line="+36"/>
        <source>%1: dataset %2 has %3 dimensions, so it has no column %4: columns are read from datasets of 2 (points x elements), slices from those of 3 or more (elements x rows x columns)</source>
        <translation>%1: データセット %2 は %3 次元なので列 %4 はありません。列は 2 次元 (点 x 素子) のデータセットから、スライスは 3 次元以上 (素子 x 行 x 列) のデータセットから読みます</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: dataset %2 has 2 dimensions (points x elements): name one of its columns, as in %2[0]</source>
        <translation>%1: データセット %2 は 2 次元 (点 x 素子) です。%2[0] のように列を指定してください</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: dataset %2 has %3 dimensions (elements x rows x columns): name one of its slices along the first axis, as in %2[0]</source>
        <translation>%1: データセット %2 は %3 次元 (素子 x 行 x 列) です。%2[0] のように最初の軸に沿ったスライスを指定してください</translation>
    </message>
    <message>
        <location line="+47"/>
        <source>%1: HDF5 files cannot be read: the helper program %2 does not start (%3)</source>
        <translation>%1: HDF5 ファイルを読めません。補助プログラム %2 が起動しません (%3)</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>%1: the HDF5 reader gave no answer within %2 s and was stopped</source>
        <translation>%1: HDF5 読み取りプロセスが %2 秒以内に応答しなかったため停止しました</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: the HDF5 reader crashed on this file; it may be damaged</source>
        <translation>%1: HDF5 読み取りプロセスがこのファイルで異常終了しました。ファイルが壊れている可能性があります</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1: the HDF5 reader failed (exit status %2)</source>
        <translation>%1: HDF5 読み取りプロセスが失敗しました (終了ステータス %2)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: the HDF5 reader&apos;s answer is malformed: %2</source>
        <translation>%1: HDF5 読み取りプロセスの応答が不正です: %2</translation>
    </message>
    <message>
        <location line="+49"/>
        <source>Cannot open %1: %2</source>
        <translation>%1 を開けません: %2</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>%1: not an HDF5 file</source>
        <translation>%1: HDF5 ファイルではありません</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1: cannot be opened as HDF5; the file is truncated or damaged (%2)</source>
        <translation>%1: HDF5 として開けません。ファイルが途中で切れているか壊れています (%2)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: no dataset %2</source>
        <translation>%1: データセット %2 がありません</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1: no dataset %2; %3 holds %4</source>
        <translation>%1: データセット %2 がありません。%3 にあるのは %4 です</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1: %2 is not a dataset</source>
        <translation>%1: %2 はデータセットではありません</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1: dataset %2 holds values of HDF5 class %3, not numbers</source>
        <translation>%1: データセット %2 の値は HDF5 クラス %3 で、数値ではありません</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>%1: dataset %2 has %3 columns (0 to %4), so it has no column %5</source>
        <translation>%1: データセット %2 の列は %3 個 (0 から %4) なので列 %5 はありません</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: dataset %2 has %3 points, but %4 has %5</source>
        <translation>%1: データセット %2 は %3 点ですが、%4 は %5 点です</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: dataset %2 cannot be read; the file is damaged (%3)</source>
        <translation>%1: データセット %2 を読めません。ファイルが壊れています (%3)</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: the datasets asked for hold %2 values, more than the %3 that are read at once</source>
        <translation>%1: 指定したデータセットの値は %2 個で、一度に読める %3 個を超えています</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: cannot be read as HDF5</source>
        <translation>%1: HDF5 として読めません</translation>
    </message>
    <message>
        <location filename="../data/hdf5columns.cpp" line="+1"/>
        <source>%1: %2 cannot be written (%3)</source>
        <translation>%1: %2 に書き込めません (%3)</translation>
    </message>
    <message>
        <location filename="../data/hdf5scanwriter.cpp" line="+1"/>
        <source>%1: HDF5 files cannot be written: the helper program %2 does not start (%3)</source>
        <translation>%1: HDF5 ファイルを書き込めません。ヘルパープログラム %2 が起動しません (%3)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1: the HDF5 writer gave no answer within %2 s and was stopped</source>
        <translation>%1: HDF5 書き込みプログラムが %2 秒以内に応答しなかったため停止しました</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1: the HDF5 writer crashed on this file; it may be damaged</source>
        <translation>%1: HDF5 書き込みプログラムがこのファイルでクラッシュしました。ファイルが壊れている可能性があります</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1: the HDF5 writer failed (exit status %2)</source>
        <translation>%1: HDF5 書き込みプログラムが失敗しました (終了ステータス %2)</translation>
    </message>
</context>
<context>
    <name>Plot</name>
    <message>
        <location filename="../plot/plotaxes.cpp" line="+41"/>
        <source>Channel</source>
        <translation>チャンネル</translation>
    </message>
    <message>
        <location line="+183"/>
        <source>Input count rate against I0</source>
        <translation>I0に対する入力計数率</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>I0</source>
        <translation>I0</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+2"/>
        <source>ICR (Nin)</source>
        <translation>ICR (Nin)</translation>
    </message>
    <message>
        <location line="-1"/>
        <source>Output against input count rate</source>
        <translation>入力計数率に対する出力計数率</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>SCA (Nout)</source>
        <translation>SCA (Nout)</translation>
    </message>
</context>
<context>
    <name>ColumnsDialog</name>
    <message>
        <source>Columns</source>
        <translation>列</translation>
    </message>
    <message>
        <source>Columns and the first rows:</source>
        <translation>列と最初の行:</translation>
    </message>
    <message>
        <source>Recipe: for every element {n}, expressions over the column names ($7 is the 7th column):</source>
        <translation>レシピ: 素子 {n} ごとに、列名を使った式($7 は7番目の列):</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>読み込み</translation>
    </message>
    <message>
        <source>Not a column file: %1</source>
        <translation>列ファイルではありません: %1</translation>
    </message>
    <message numerus="yes">
        <source>The recipe fits: %n element(s)</source>
        <translation>
            <numerusform>レシピは適合します: %n 素子</numerusform>
        </translation>
    </message>
    <message>
        <source>Missing or wrong: %1</source>
        <translation>不足または誤り: %1</translation>
    </message>
    <message>
        <source>An HDF5 file: the recipe's [datasets] section names the datasets that become columns.</source>
        <translation>HDF5 ファイル: レシピの [datasets] セクションで、列にするデータセットを指定します。</translation>
    </message>
</context>
<context>
    <name>LoadNotes</name>
    <message>
        <source>One channel in common: the result row needs two, so it stays empty; Fit details shows this channel's dead times</source>
        <translation>共通チャンネルは1つです: 結果行には2つ必要なため空のままです。このチャンネルのデッドタイムはフィットの詳細に表示されます</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>Recordings</name>
    <message>
        <source>built-in recipe %1; no counting-time column, so the values are taken as rates</source>
        <translation>組み込みレシピ %1。計数時間の列がないため、値を計数率とみなします</translation>
    </message>
    <message>
        <source>built-in recipe %1, counts over the counting time %2</source>
        <translation>組み込みレシピ %1、計数を計数時間 %2 で割ります</translation>
    </message>
    <message>
        <source>line %1: the channel header gives no channel count (&apos;%2&apos;), so no later line is read</source>
        <translation>%1 行目: チャンネル数の見出しからチャンネル数が得られない(「%2」)ため、以降の行は読み込まれません</translation>
    </message>
    <message>
        <source>up to %1 fields per line, of which a point table of %2 channel(s) uses %3</source>
        <translation>1行に最大 %1 個のフィールド(%2 チャンネルの点テーブルが使うのは %3 個)</translation>
    </message>
    <message>
        <source>%1 line(s) that are not numbers (the first is line %2)</source>
        <translation>数値でない行が %1 行(最初は %2 行目)</translation>
    </message>
    <message>
        <source>read as a point table with %1; if it is a column file, read it with a recipe</source>
        <translation>点テーブルとして読み込みました: %1。列ファイルであればレシピで読み込んでください</translation>
    </message>
    <message>
        <source> and </source>
        <translation>、</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>%1 行目: %2</translation>
    </message>
    <message>
        <source> (and %1 more such lines)</source>
        <translation>(ほかに同様の行が %1 行)</translation>
    </message>
    <message>
        <source>no built-in recipe fits the columns %1; give a recipe</source>
        <translation>列 %1 に合う組み込みレシピがありません。レシピを指定してください</translation>
    </message>
    <message>
        <source>; the columns are %1</source>
        <translation>。列は %1 です</translation>
    </message>
    <message>
        <source>the last line, %1, has no line end: the file may be truncated</source>
        <translation>最終行(%1 行目)に改行がありません: ファイルが途中で切れている可能性があります</translation>
    </message>
    <message>
        <source>%1 fields where the header has %2</source>
        <translation>ヘッダーは %2 列ですがフィールドが %1 個あります</translation>
    </message>
    <message>
        <source>field %1 &quot;%2&quot; is not a number</source>
        <translation>フィールド %1 の「%2」は数値ではありません</translation>
    </message>
    <message>
        <source>unknown names %1</source>
        <translation>不明な名前 %1</translation>
    </message>
    <message>
        <source>unknown name %1</source>
        <translation>不明な名前 %1</translation>
    </message>
    <message>
        <source>the expression &quot;%1&quot; does not parse: %2</source>
        <translation>式「%1」を解析できません: %2</translation>
    </message>
    <message>
        <source>line %1: </source>
        <translation>%1 行目: </translation>
    </message>
    <message>
        <source>%1%2 of element %3 = %4 is not finite (division by zero)</source>
        <translation>%1素子 %3 の %2 = %4 が有限ではありません(ゼロ除算)</translation>
    </message>
    <message>
        <source>%1%2 of element %3 = %4 is not finite</source>
        <translation>%1素子 %3 の %2 = %4 が有限ではありません</translation>
    </message>
    <message>
        <source>%1%2 of element %3 = %4 is not finite (overflow)</source>
        <translation>%1素子 %3 の %2 = %4 が有限ではありません(オーバーフロー)</translation>
    </message>
    <message>
        <source>no [datasets] section naming the HDF5 datasets</source>
        <translation>HDF5 のデータセットを指定する [datasets] セクションがありません</translation>
    </message>
    <message>
        <source>no window = first-last bin of the counts</source>
        <translation>計数を合計するビンの範囲 window = 最初-最後 がありません</translation>
    </message>
    <message>
        <source>line %1 is longer than %2 bytes</source>
        <translation>%1 行目が %2 バイトより長くなっています</translation>
    </message>
    <message>
        <source>line %1 has more than %2 fields</source>
        <translation>%1 行目のフィールドが %2 個を超えています</translation>
    </message>
    <message>
        <source>a SPEC file of %1 scans: %2; choose one by its number (scan = N in a recipe, or --scan N)</source>
        <translation>スキャンが %1 個ある SPEC ファイルです: %2。番号で 1 つ選んでください (レシピの scan = N、または --scan N)</translation>
    </message>
    <message>
        <source>scan %1 is there twice, lines %2 and %3; its scans are %4</source>
        <translation>スキャン %1 が %2 行目と %3 行目の 2 か所にあります。スキャンは %4 です</translation>
    </message>
    <message>
        <source>scan %1 asked for, but the file has no &quot;#S&quot; scan lines</source>
        <translation>スキャン %1 が指定されましたが、ファイルに「#S」のスキャン行がありません</translation>
    </message>
    <message>
        <source>no scan %1 in the file; its scans are %2</source>
        <translation>ファイルにスキャン %1 はありません。スキャンは %2 です</translation>
    </message>
    <message>
        <source>a SPEC file of %1 scans</source>
        <translation>スキャンが %1 個ある SPEC ファイル</translation>
    </message>
    <message>
        <source>a column file of %1 fields per row (line %2) without a &quot;# Channels :&quot; header</source>
        <translation>「# Channels :」の見出しがなく、1 行に %1 個のフィールドがある列ファイル (%2 行目)</translation>
    </message>
    <message>
        <source>cannot decompress the gzip file</source>
        <translation>gzip ファイルを展開できません</translation>
    </message>
    <message>
        <source>more than %1 MiB once decompressed</source>
        <translation>展開すると %1 MiB を超えます</translation>
    </message>
    <message>
        <source>damaged gzip data (%1)</source>
        <translation>gzip データが壊れています (%1)</translation>
    </message>
    <message>
        <source>the gzip data end early: the file is truncated</source>
        <translation>gzip データが途中で終わっています: ファイルが途中で切れています</translation>
    </message>
    <message>
        <source>binary file, not a text recording</source>
        <translation>バイナリファイルで、テキストの記録ではありません</translation>
    </message>
    <message>
        <source>a dead-time file: give it to `correct --dead-times`</source>
        <translation>不感時間ファイルです: `correct --dead-times` に指定してください</translation>
    </message>
    <message>
        <source>a JSON document, not a measurement</source>
        <translation>JSON 文書で、測定ではありません</translation>
    </message>
    <message>
        <source>%1, and no built-in recipe fits the columns %2</source>
        <translation>%1 で、列 %2 に合う組み込みレシピがありません</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>an HDF5 file compressed with gzip: decompress it first (gunzip)</source>
        <translation>gzip で圧縮された HDF5 ファイルです: 先に展開してください (gunzip)</translation>
    </message>
    <message>
        <source>%1 matches the columns %2; make it match one</source>
        <translation>%1 が列 %2 に一致します。1 つの列だけに一致するようにしてください</translation>
    </message>
    <message>
        <source>built-in recipe %1; no counting-time column, so I0 is taken as a rate</source>
        <translation>組み込みレシピ %1。計数時間の列がないため、I0 を計数率とみなします</translation>
    </message>
    <message>
        <source>%1 row(s) with fields left empty, read as missing values (nan), the first in line %2, field %3</source>
        <translation>空のフィールドのある行が %1 行あり、欠損値 (nan) として読みました。最初は %2 行目のフィールド %3 です</translation>
    </message>
    <message>
        <source>line %1: not a channel and a count</source>
        <translation>%1 行目: チャンネルと計数ではありません</translation>
    </message>
    <message>
        <source>no real time or no live time in the header</source>
        <translation>ヘッダーにリアルタイムまたはライブタイムがありません</translation>
    </message>
    <message>
        <source>no row of channel and count</source>
        <translation>チャンネルと計数の行がありません</translation>
    </message>
    <message>
        <source>built-in recipe of a single spectrum: all counts over the live and the real time, %1 as the incident rate</source>
        <translation>単一スペクトルの組み込みレシピ: 全計数をライブタイムとリアルタイムで割り、%1 を入射強度の計数率とします</translation>
    </message>
    <message>
        <source>a spectrum of channel and count: no entry I0 in its header; give a recipe with i0 = one of %1</source>
        <translation>チャンネルと計数のスペクトルですが、ヘッダーに I0 の項目がありません。%1 のいずれかを i0 = に指定したレシピを指定してください</translation>
    </message>
</context>
</TS>
