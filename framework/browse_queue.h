// The browse's row queue and list control. The queue holds the page of rows
// a list shows (each row the displayed fields and the view position that
// leads back to its record); the list control is the window's list. A
// behaviour object joins the two for the browse: StandardBehavior keeps the
// rows in memory and shows them in a list control of a window.
// Belongs to one thread; not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ck {

namespace ui {
class Window;
}

// Largest view position kept with a row.
inline constexpr size_t ViewPositionSize = 1024;

struct BrowseRow {
  std::vector<std::string> FIELDS;  // each displayed field's bytes, as the record holds them
  uint8_t MARK = 0;
  std::string VIEWPOSITION;
};

// The row queue, with a row buffer: Fetch copies row n into Row(), Update
// writes it back, Delete takes the fetched row out.
class RowQueue {
 public:
  virtual ~RowQueue() = default;
  virtual int Records() const = 0;
  virtual void Append(const BrowseRow& row) = 0;
  // Inserts before row n (from 1; Records() + 1 appends).
  virtual void Insert(int n, const BrowseRow& row) = 0;
  // False when there is no row n.
  virtual bool Fetch(int n) = 0;
  virtual void Update() = 0;
  virtual void Delete() = 0;
  virtual void Free() = 0;
  // The name of column n (from 1), "" when none.
  virtual std::string Who(int n) const = 0;
  virtual std::string GetViewPosition() const = 0;
  virtual void SetViewPosition(std::string position) = 0;
  // The row buffer.
  virtual BrowseRow& Row() = 0;
};

// What the browse needs of its list control.
class ListControl {
 public:
  virtual ~ListControl() = default;
  virtual int Choice() const = 0;
  virtual int GetControl() const = 0;
  // Rows the list shows at once.
  virtual int Items() const = 0;
  virtual bool GetVisible() const = 0;
  virtual void SetChoice(int n) = 0;
};

class StandardBehavior : public RowQueue, public ListControl {
 public:
  StandardBehavior() = default;
  StandardBehavior(const StandardBehavior&) = delete;
  StandardBehavior& operator=(const StandardBehavior&) = delete;

  // REQUIRES: window outlives the behaviour's use.
  void Init(ui::Window& window, int listControl, std::vector<std::string> columnNames = {});

  int Records() const override;
  void Append(const BrowseRow& row) override;
  void Insert(int n, const BrowseRow& row) override;
  bool Fetch(int n) override;
  void Update() override;
  void Delete() override;
  void Free() override;
  std::string Who(int n) const override;
  std::string GetViewPosition() const override;
  void SetViewPosition(std::string position) override;
  BrowseRow& Row() override { return buffer_; }

  int Choice() const override;
  int GetControl() const override { return control_; }
  int Items() const override;
  bool GetVisible() const override;
  void SetChoice(int n) override;

  // The rows, for showing them.
  const std::vector<BrowseRow>& Rows() const { return rows_; }

  // Members, in declaration order.
  std::vector<BrowseRow>* BROWSEQUEUE = &rows_;
  ListControl* ILISTCONTROL = this;
  int32_t LC = 0;

 private:
  ui::Window* window_ = nullptr;
  int control_ = 0;
  std::vector<std::string> columnNames_;
  std::vector<BrowseRow> rows_;
  BrowseRow buffer_;
  int fetched_ = 0;
};

}  // namespace ck
